#include "tamsel/messages.h"

#include <atomic>
#include <cctype>
#include <memory>
#include <stdexcept>

#include "common/message_store.h"
#include "common/text.h"

namespace tamsel {

namespace detail {

namespace {

std::atomic<Language> g_language{Language::kEnUs};

std::string Lookup(std::string_view key) {
  const char* text = CatalogText(key, g_language.load(std::memory_order_relaxed));
  return text ? std::string(text) : std::string(key);
}

// The text interface that the provider hands out.
class TextService {
 public:
  std::string Text(std::string_view key) const { return Lookup(key); }
};

class TextProvider {
 public:
  std::shared_ptr<TextService> TextInterface() const { return std::make_shared<TextService>(); }
};

class FormatService {
 public:
  std::string Format(std::string_view key, const std::vector<Variant>& params) const {
    return ReplaceMarkers(Lookup(key), params);
  }
};

// The services live as long as their thread and are never re-created.
struct ThreadServices {
  std::unique_ptr<TextProvider> provider;
  std::shared_ptr<TextService> text;
  std::unique_ptr<FormatService> formatter;
  MessageServiceCounts counts;
};

ThreadServices& Services() {
  thread_local ThreadServices services;
  return services;
}

}  // namespace

std::string ReplaceMarkers(std::string_view text, const std::vector<Variant>& params) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '{') {
      std::size_t end = pos + 1;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      // Up to 9 digits keeps the index within int range.
      if (end > pos + 1 && end - pos - 1 <= 9 && end < text.size() && text[end] == '}') {
        const std::size_t index = std::stoul(std::string(text.substr(pos + 1, end - pos - 1)));
        if (index < params.size()) {
          out += VarToStr(params[index]);
          pos = end + 1;
          continue;
        }
      }
    }
    out += text[pos++];
  }
  return out;
}

MessageServiceCounts ThisThreadMessageServiceCounts() { return Services().counts; }

}  // namespace detail

std::string GetResString(const std::string& key) {
  detail::ThreadServices& s = detail::Services();
  if (!s.provider) {
    s.provider = std::make_unique<detail::TextProvider>();
    ++s.counts.providers;
  }
  if (!s.text) {
    s.text = s.provider->TextInterface();
    ++s.counts.text_interfaces;
  }
  return s.text->Text(key);
}

std::string FormatResString(const std::string& key, const std::vector<Variant>& params) {
  detail::ThreadServices& s = detail::Services();
  if (!s.formatter) {
    s.formatter = std::make_unique<detail::FormatService>();
    ++s.counts.formatters;
  }
  return s.formatter->Format(key, params);
}

std::vector<Variant>& MsgParams() {
  thread_local std::vector<Variant> params;
  return params;
}

void SetMessageLanguage(const std::string& language) {
  detail::Language chosen;
  if (detail::EqualsNoCase(language, "en-US")) {
    chosen = detail::Language::kEnUs;
  } else if (detail::EqualsNoCase(language, "zh-CN")) {
    chosen = detail::Language::kZhCn;
  } else if (detail::EqualsNoCase(language, "zh-TW")) {
    chosen = detail::Language::kZhTw;
  } else {
    throw std::invalid_argument("unknown message language \"" + language +
                                "\"; use en-US, zh-CN or zh-TW");
  }
  detail::g_language.store(chosen, std::memory_order_relaxed);
}

std::string MessageLanguage() {
  switch (detail::g_language.load(std::memory_order_relaxed)) {
    case detail::Language::kZhCn:
      return "zh-CN";
    case detail::Language::kZhTw:
      return "zh-TW";
    case detail::Language::kEnUs:
      break;
  }
  return "en-US";
}

}  // namespace tamsel
