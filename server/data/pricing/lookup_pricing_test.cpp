// Priced lookups end to end: the lookup object on the demo data set, with the session's own
// promotion and rate tables, gives the reply's price text.
#include "server/data/pricing/lookup_pricing.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "server/data/clock.h"
#include "server/data/demo_fixture.h"
#include "server/data/item_lookup.h"

namespace kt::data::pricing {
namespace {

using Moment = kt::data::LookupTime;  // the lookup object's clock reading

class PricedLookup : public kt::data::testing::DemoDataTest {
 protected:
  // The price text of one scan at `when`, or "ERR: " + the lookup's error.
  std::string Scan(const std::string& code, Moment when = {{2026, 12, 10}, 9 * 60}) {
    if (!opened_) {
      EXPECT_TRUE(Open());
      opened_ = true;
    }
    FixedClock clock(when);
    ITEMPENJUAECERAN lookup(globals_, sink_, clock);
    lookup.SetConnectionNumber(1);
    EXPECT_TRUE(lookup.DBSUBOPEN());
    lookup.SEEKKODE(code);
    if (!lookup.SEEKFOUND()) return "ERR: " + lookup.CERRORMESS;
    return LookupPriceText(lookup.OITEMPENJUAECERAN, *lookup.database());
  }

  void SetFixedLevel(uint16_t level) {
    ConfigValues config = globals_.Config();
    config.WCONFIGHARGAJUAL = level;
    globals_.SetConfig(config);
  }

  bool opened_ = false;
};

TEST_F(PricedLookup, DemoItems) {
  // Thursday 2026-12-10 09:00 unless a case says otherwise; rupiah rules 1..499 -> 500 and
  // 501..999 -> 1000 round every line total.
  const Moment thursday{{2026, 12, 10}, 540};
  struct Case {
    const char* name;
    const char* code;
    Moment when;
    const char* expected;
  } const cases[] = {
      {"plain price", "TISU01", thursday, "14.000 / 1 PCS"},
      {"rounded 12,345 -> 12,500", "KRP01", thursday, "12.500 / 1 PCS"},
      {"quantity 3", "3*TISU01", thursday, "42.000 / 3 PCS"},
      {"level 2 from 12 bottles, total rounded up", "12*AQ600", thursday, "40.000 / 12 BTL"},
      {"11 bottles stay at level 1", "11*AQ600", thursday, "38.500 / 11 BTL"},
      {"special price 15,900 -> 16,000", "GULA1KG", thursday, "16.000 / 1 PCS"},
      {"special price not yet valid", "GULA1KG", {{2025, 12, 31}, 540}, "17.500 / 1 PCS"},
      {"expired special price", "TEPUNG1", thursday, "12.000 / 1 PCS"},
      {"10% on a weekday", "SUSU1L", thursday, "17.550 / 1 PCS"},
      {"no discount on Saturday", "SUSU1L", {{2026, 12, 12}, 540}, "19.500 / 1 PCS"},
      {"no discount on a holiday Friday", "SUSU1L", {{2026, 12, 25}, 540}, "19.500 / 1 PCS"},
      {"value discount at 09:00", "ROTI01", thursday, "15.000 / 1 PCS"},
      {"value discount per piece", "3*ROTI01", thursday, "45.000 / 3 PCS"},
      {"value discount at 10:00", "ROTI01", {{2026, 12, 10}, 600}, "15.000 / 1 PCS"},
      {"no value discount at 10:01", "ROTI01", {{2026, 12, 10}, 601}, "16.000 / 1 PCS"},
      {"USD 2.50 at 16,000", "CKLT100", thursday, "40.000 / 1 PCS"},
      {"USD at the older rate, 38,750 -> 39,000", "CKLT100", {{2026, 6, 1}, 539}, "39.000 / 1 PCS"},
      {"the newer rate from 09:00", "CKLT100", {{2026, 6, 1}, 540}, "40.000 / 1 PCS"},
      {"no USD rate yet", "CKLT100", {{2025, 12, 31}, 540}, "- / 1 PCS"},
      {"counted in BOX: the BOX level", "MIE5BOX", thursday, "34.000 / 1 BOX"},
      {"weighed in grams", "250*DAGING", thursday, "36.500 / 250 GR"},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.code, c.when), c.expected) << c.name;
}

TEST_F(PricedLookup, FixedLevelFromTheSettings) {
  SetFixedLevel(1);
  EXPECT_EQ(Scan("MIE5BOX"), "36.000 / 1 BOX");  // 12 x 3,000 instead of the BOX level
  SetFixedLevel(2);
  EXPECT_EQ(Scan("TISU01"), "14.000 / 1 PCS");  // no level 2: a copy of level 1
}

TEST_F(PricedLookup, TaxAndRetailCurrencyFromTheControlRecord) {
  RewriteKontro([](demo::Row& row) { row.Set("PJECR_PJK", 10.0); });
  EXPECT_EQ(Scan("KRP01"), "13.750 / 1 PCS");
  RewriteKontro([](demo::Row& row) { row.Set("PJECR_MU", 2); });
  opened_ = false;
  EXPECT_EQ(Scan("CKLT100"), "2,50 / 1 PCS");    // the USD price as it stands
  EXPECT_EQ(Scan("TISU01"), "0,88 / 1 PCS");     // 14,000 rupiah at 16,000
}

}  // namespace
}  // namespace kt::data::pricing
