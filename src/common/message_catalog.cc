#include <algorithm>
#include <array>

#include "common/message_store.h"

namespace tamsel::detail {

namespace {

#define TAMSEL_KEY(digits) "Zorvik.pu.Quorlin." digits

// Texts for purchasing clerks. {0}, {1} mark the values that the raising operation inserts.
constexpr std::array kCatalog = {
    // Rule verification before a rule is stored.
    CatalogEntry{TAMSEL_KEY("00001"), "No price rule was given to check.",
                 "未提供要检查的价格规则。", "未提供要檢查的價格規則。"},
    CatalogEntry{TAMSEL_KEY("00002"),
                 "The supply type must be 1 (purchase), 2 (outsourcing) or 4 (import).",
                 "供应类型必须是 1（采购）、2（委外）或 4（进口）。",
                 "供應類型必須是 1（採購）、2（委外）或 4（進口）。"},
    CatalogEntry{TAMSEL_KEY("00003"), "Enter the vendor of the price rule.",
                 "请输入价格规则的供应商。", "請輸入價格規則的供應商。"},
    CatalogEntry{TAMSEL_KEY("00004"), "Enter the inventory item of the price rule.",
                 "请输入价格规则的存货。", "請輸入價格規則的存貨。"},
    CatalogEntry{TAMSEL_KEY("00005"), "Enter the currency of the price rule.",
                 "请输入价格规则的币种。", "請輸入價格規則的幣別。"},
    CatalogEntry{TAMSEL_KEY("00006"), "Enter the date from which the price rule is valid.",
                 "请输入价格规则的生效日期。", "請輸入價格規則的生效日期。"},
    CatalogEntry{TAMSEL_KEY("00007"), "The start date of the price rule is not a valid date.",
                 "价格规则的生效日期不是有效的日期。", "價格規則的生效日期不是有效的日期。"},
    CatalogEntry{TAMSEL_KEY("00008"), "The end date of the price rule is not a valid date.",
                 "价格规则的失效日期不是有效的日期。", "價格規則的失效日期不是有效的日期。"},
    CatalogEntry{TAMSEL_KEY("00009"),
                 "The end date of the price rule must be at least one day after its start date.",
                 "价格规则的失效日期必须至少比生效日期晚一天。",
                 "價格規則的失效日期必須至少比生效日期晚一天。"},
    CatalogEntry{TAMSEL_KEY("00010"), "The price rule needs at least one quantity tier.",
                 "价格规则至少需要一个数量阶梯。", "價格規則至少需要一個數量級距。"},
    CatalogEntry{TAMSEL_KEY("00013"), "The first quantity tier must start at 0.",
                 "第一个数量阶梯的数量下限必须为 0。", "第一個數量級距的數量下限必須為 0。"},
    CatalogEntry{TAMSEL_KEY("00015"),
                 "Tier {0}: its lower limit must equal the upper limit of the tier before it.",
                 "第 {0} 个阶梯：数量下限必须等于上一个阶梯的数量上限。",
                 "第 {0} 個級距：數量下限必須等於上一個級距的數量上限。"},
    CatalogEntry{TAMSEL_KEY("00017"), "Tier {0}: the unit price must be greater than 0.",
                 "第 {0} 个阶梯：无税单价必须大于 0。", "第 {0} 個級距：未稅單價必須大於 0。"},
    CatalogEntry{TAMSEL_KEY("00019"), "Tier {0}: the unit price with tax must be greater than 0.",
                 "第 {0} 个阶梯：含税单价必须大于 0。", "第 {0} 個級距：含稅單價必須大於 0。"},
    CatalogEntry{TAMSEL_KEY("00021"), "Tier {0}: the tax rate must not be negative.",
                 "第 {0} 个阶梯：税率不能为负数。", "第 {0} 個級距：稅率不可為負數。"},
    CatalogEntry{TAMSEL_KEY("00023"), "Tier {0}: the tax rate must be less than 100.",
                 "第 {0} 个阶梯：税率必须小于 100。", "第 {0} 個級距：稅率必須小於 100。"},
    CatalogEntry{TAMSEL_KEY("00024"), "The last quantity tier must have no upper limit.",
                 "最后一个数量阶梯不能设置数量上限。", "最後一個數量級距不可設定數量上限。"},
    CatalogEntry{TAMSEL_KEY("00026"),
                 "Tier {0}: enter an upper limit; only the last tier may be open-ended.",
                 "第 {0} 个阶梯：请输入数量上限，只有最后一个阶梯可以不设上限。",
                 "第 {0} 個級距：請輸入數量上限，只有最後一個級距可以不設上限。"},
    CatalogEntry{
        TAMSEL_KEY("00028"), "Tier {0}: the upper limit must be greater than the lower limit.",
        "第 {0} 个阶梯：数量上限必须大于数量下限。", "第 {0} 個級距：數量上限必須大於數量下限。"},
    // Master-data checks.
    CatalogEntry{TAMSEL_KEY("00029"), "You have no right to use inventory item {0}.",
                 "您没有存货 {0} 的使用权限。", "您沒有存貨 {0} 的使用權限。"},
    CatalogEntry{TAMSEL_KEY("00031"), "Inventory item {0} does not exist.", "存货 {0} 不存在。",
                 "存貨 {0} 不存在。"},
    CatalogEntry{TAMSEL_KEY("00033"),
                 "Vendor {0} does not exist, is no longer valid, or does not supply under this "
                 "supply type.",
                 "供应商 {0} 不存在、已失效或不适用于此供应类型。",
                 "供應商 {0} 不存在、已失效或不適用於此供應類型。"},
    CatalogEntry{TAMSEL_KEY("00034"), "Vendor {0} cannot supply for {1}.",
                 "供应商 {0} 不能用于{1}。", "供應商 {0} 不能用於{1}。"},
    CatalogEntry{TAMSEL_KEY("00035"), "purchase", "采购", "採購"},
    CatalogEntry{TAMSEL_KEY("00036"), "outsourcing", "委外", "委外"},
    CatalogEntry{TAMSEL_KEY("00037"), "Inventory item {0} cannot be used for {1}.",
                 "存货 {0} 不能用于{1}。", "存貨 {0} 不能用於{1}。"},
    CatalogEntry{TAMSEL_KEY("00043"), "You have no right to use vendor {0}.",
                 "您没有供应商 {0} 的使用权限。", "您沒有供應商 {0} 的使用權限。"},
    // Tier checks.
    CatalogEntry{TAMSEL_KEY("00047"), "The unit price must be greater than 0.",
                 "无税单价必须大于 0。", "未稅單價必須大於 0。"},
    CatalogEntry{TAMSEL_KEY("00048"), "The unit price with tax must be greater than 0.",
                 "含税单价必须大于 0。", "含稅單價必須大於 0。"},
    CatalogEntry{TAMSEL_KEY("00049"), "The tax rate must be at least 0 and less than 100.",
                 "税率必须大于或等于 0 且小于 100。", "稅率必須大於或等於 0 且小於 100。"},
    CatalogEntry{TAMSEL_KEY("00050"), "Currency {0} does not exist.", "币种 {0} 不存在。",
                 "幣別 {0} 不存在。"},
    // Storing and removing rules.
    CatalogEntry{TAMSEL_KEY("00054"), "A quantity tier of the price rule could not be saved.",
                 "价格规则的数量阶梯保存失败。", "價格規則的數量級距儲存失敗。"},
    CatalogEntry{
        TAMSEL_KEY("00055"),
        "A price rule with the same vendor, item, supply type, currency, validity dates "
        "and (for import) trade term already exists.",
        "已存在供应商、存货、供应类型、币种、有效期及（进口时）贸易术语都相同的价格规则。",
        "已存在供應商、存貨、供應類型、幣別、有效期間及（進口時）貿易條件都相同的價格規則。"},
    CatalogEntry{TAMSEL_KEY("00056"), "The price rule could not be saved.", "价格规则保存失败。",
                 "價格規則儲存失敗。"},
    CatalogEntry{TAMSEL_KEY("00057"), "The saved price rule could not be read back.",
                 "无法读回已保存的价格规则。", "無法讀回已儲存的價格規則。"},
    CatalogEntry{TAMSEL_KEY("00059"),
                 "The price rule was changed or deleted by another user. Reload it and try again.",
                 "价格规则已被其他用户修改或删除，请重新读取后再试。",
                 "價格規則已被其他使用者修改或刪除，請重新讀取後再試。"},
    CatalogEntry{TAMSEL_KEY("00061"), "The price rule to delete does not exist.",
                 "要删除的价格规则不存在。", "要刪除的價格規則不存在。"},
    CatalogEntry{TAMSEL_KEY("00062"), "The row permission service could not be started.",
                 "数据权限服务初始化失败。", "資料權限服務初始化失敗。"},
    // Overlap check and trade terms.
    CatalogEntry{TAMSEL_KEY("00500"),
                 "The validity period overlaps another price rule for the same vendor, item, "
                 "supply type and currency.",
                 "有效期与相同供应商、存货、供应类型和币种的其他价格规则重叠。",
                 "有效期間與相同供應商、存貨、供應類型和幣別的其他價格規則重疊。"},
    CatalogEntry{TAMSEL_KEY("00501"), "Trade term {0} does not exist.", "贸易术语 {0} 不存在。",
                 "貿易條件 {0} 不存在。"},
    CatalogEntry{TAMSEL_KEY("00502"), "Enter a trade term for an import price rule.",
                 "进口价格规则必须输入贸易术语。", "進口價格規則必須輸入貿易條件。"},
    // A write whose commit failed at the disk.
    CatalogEntry{
        TAMSEL_KEY("00503"),
        "It is unknown whether the change to the price rule was stored: the database "
        "failed while making it durable. Reload the rule before trying again.",
        "无法确定对价格规则的更改是否已保存：数据库在持久化更改时出错。请重新读取该规则后再试。",
        "無法確定對價格規則的變更是否已儲存：資料庫在寫入變更時發生錯誤。請重新讀取該規則後再試。"},
};

#undef TAMSEL_KEY

}  // namespace

std::span<const CatalogEntry> MessageCatalog() { return kCatalog; }

const char* CatalogText(std::string_view key, Language language) {
  const auto it = std::find_if(kCatalog.begin(), kCatalog.end(),
                               [&](const CatalogEntry& e) { return key == e.key; });
  if (it == kCatalog.end()) return nullptr;
  switch (language) {
    case Language::kZhCn:
      return it->zh_cn;
    case Language::kZhTw:
      return it->zh_tw;
    case Language::kEnUs:
      break;
  }
  return it->en_us;
}

}  // namespace tamsel::detail
