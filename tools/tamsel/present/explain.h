#pragma once

// Why a look-up answered as it did: the price look-up's candidate rows with the conditions each
// fails, the next cheaper quantity band, and the comparison's ranking of offers. Every list
// comes from the look-ups' own statements, so its first entry is, as a rule, their answer.

#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "present/prices.h"

namespace tamsel::cli {

struct PriceQuery {
  std::string vendor, item, currency, xml;
  Date date;
  double qty = 0;
  int32_t supply_type = 1;
};

// A price-list row of the item, as the price look-up sees it.
struct Candidate {
  int32_t id = 0;
  std::string vendor, currency, enable, disable;
  bool no_vendor = false;  // Null, which sorts after every code, the empty one too
  int32_t supply_type = 0;
  bool promotion = false;
  double lower = 0, unit_price = 0;
  Variant upper;
  std::map<int, std::string> free;  // free item number -> value, empty ones left out
  std::vector<std::string> failed;  // the look-up's conditions the row does not meet
};

// Every row of the item in the look-up's order; the first with nothing failed is the answer.
std::vector<Candidate> PriceCandidates(Session& session, const PriceQuery& query);

struct NextTier {
  double quantity, unit_price;
};
// The smallest larger quantity at which the look-up gives a lower unit price in the same
// currency; nullopt when none does.
std::optional<NextTier> FindNextTier(Session& session, const PriceQuery& query,
                                     const std::vector<Candidate>& candidates,
                                     const PriceRuleItem& current);
std::string DescribeNextTier(const NextTier& next, double qty);

// chosen_id: the row the look-up returned (0 for none); a different first candidate is
// reported, not hidden.
void PrintCandidates(std::ostream& out, const std::vector<Candidate>& candidates,
                     int32_t chosen_id);
Json CandidatesToJson(const std::vector<Candidate>& candidates);
// Empty when the explanation agrees with the look-up.
std::string Disagreement(const std::vector<Candidate>& candidates, int32_t chosen_id);

// An offer of the comparison at the band the quantity reaches, best first.
struct Offer {
  int32_t id = 0;
  std::string vendor, vendor_name;
  double lower = 0;
  Variant upper;
  LocalPrice conversion;  // the unit price, its rate and where the rate came from
};
std::vector<Offer> RankOffers(Session& session, const std::string& item, double qty,
                              int32_t supply_type, const std::string& xml);
Table OffersTable(const std::vector<Offer>& offers);
Json OffersToJson(const std::vector<Offer>& offers);
// The stderr warning when a rate was missing and taken as 1; empty when none was.
std::string MissingRateWarning(const std::vector<Offer>& offers, const Session& session);

}  // namespace tamsel::cli
