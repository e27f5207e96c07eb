#include "bench/backoffice/backoffice.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <thread>

#include "common/text/text.h"
#include "server/data/driver/file_lookup.h"
#include "server/data/driver/work_area.h"

namespace kt::bench {

namespace {

using Clock = std::chrono::steady_clock;
using data::WorkArea;

int64_t Nanos(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

class BackOffice {
 public:
  BackOffice(const BackOfficeOptions& o, std::unique_ptr<WorkArea> area, uint32_t records,
             std::ostream& log)
      : o_(o), area_(std::move(area)), rng_(o.seed), log_(log) {
    price_first_ = o.price_first ? o.price_first : 1;
    price_last_ = o.price_last ? std::min(o.price_last, records) : records;
    code_first_ = o.code_first ? o.code_first : 1;
    code_last_ = o.code_last ? std::min(o.code_last, records) : records;
    template_ = price_first_;
  }

  Result<BackOfficeReport> Run() {
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + o_.duration;
    struct Kind {
      double rate;
      Clock::time_point due;
      Status (BackOffice::*change)();
    } kinds[] = {{o_.prices_per_second, start, &BackOffice::ChangePrice},
                 {o_.appends_per_second, start, &BackOffice::Append},
                 {o_.codes_per_second, start, &BackOffice::ChangeCode}};
    while (true) {
      Kind* next = nullptr;
      for (Kind& k : kinds) {
        if (k.rate > 0 && (!next || k.due < next->due)) next = &k;
      }
      if (!next || next->due >= end) break;
      std::this_thread::sleep_until(next->due);  // pacing, not synchronisation
      KT_RETURN_IF_ERROR((this->*next->change)());
      next->due += std::chrono::nanoseconds(static_cast<int64_t>(1e9 / next->rate));
    }
    report_.elapsed = Clock::now() - start;
    return report_;
  }

 private:
  uint32_t Pick(uint32_t first, uint32_t last) {
    return first + static_cast<uint32_t>(rng_() % (last - first + 1));
  }
  std::string RandomCode(char lead) {
    static const char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::string s(1, lead);
    for (int i = 0; i < 9; ++i) s.push_back(kChars[rng_() % (sizeof kChars - 1)]);
    return s;
  }
  double RandomPrice() { return 1000.0 * (5 + rng_() % 95); }

  void Log(const char* kind, Clock::time_point lock, Clock::time_point unlock, uint32_t recno,
           const std::string& code_before, const std::string& code_after, double price_before,
           double price_after) {
    char prices[64];
    std::snprintf(prices, sizeof prices, "%.2f\t%.2f", price_before, price_after);
    log_ << kind << '\t' << Nanos(lock) << '\t' << Nanos(unlock) << '\t' << recno << '\t'
         << code_before << '\t' << code_after << '\t' << prices << '\n'
         << std::flush;
    report_.longest_change = std::max(report_.longest_change,
                                      std::chrono::duration_cast<std::chrono::nanoseconds>(unlock - lock));
  }

  // The first item of the price range that is on sale at the counter in warehouse 1.
  Status FindTemplate() {
    if (template_found_) return Status::Ok();
    for (uint32_t r = price_first_; r <= price_last_; ++r) {
      KT_RETURN_IF_ERROR(area_->GoTo(r));
      KT_ASSIGN_OR_RETURN(bool hidden, area_->GetLogical("HIDE"));
      KT_ASSIGN_OR_RETURN(bool retail, area_->GetLogical("ITM_PENJEC"));
      KT_ASSIGN_OR_RETURN(bool warehouse, area_->GetLogical("GUDANG_01"));
      if (!hidden && retail && warehouse && !area_->Deleted()) {
        template_ = r;
        template_found_ = true;
        return Status::Ok();
      }
    }
    return Status::InvalidArgument("no ordinary item in the price range to copy for new items");
  }

  // SKIP 0 writes the record buffer: the change is on disk (and in the index) when it returns.
  Status Write() { return area_->Skip(0); }

  Status ChangePrice() {
    const uint32_t recno = Pick(price_first_, price_last_);
    KT_RETURN_IF_ERROR(area_->GoTo(recno));
    KT_ASSIGN_OR_RETURN(double before, area_->GetNumber("HARGA_J_01"));
    KT_ASSIGN_OR_RETURN(std::string code, area_->GetString("KODE_C"));
    double price = RandomPrice();
    while (price == before) price = RandomPrice();
    const Clock::time_point lock = Clock::now();
    KT_RETURN_IF_ERROR(area_->PutNumber("HARGA_J_01", price));
    KT_RETURN_IF_ERROR(Write());
    const Clock::time_point unlock = Clock::now();
    ++report_.prices;
    const std::string shown(text::TrimRight(code));
    Log("price", lock, unlock, recno, shown, shown, before, price);
    return Status::Ok();
  }

  Status ChangeCode() {
    const uint32_t recno = Pick(code_first_, code_last_);
    KT_RETURN_IF_ERROR(area_->GoTo(recno));
    KT_ASSIGN_OR_RETURN(std::string before, area_->GetString("KODE_C"));
    KT_ASSIGN_OR_RETURN(double price, area_->GetNumber("HARGA_J_01"));
    const std::string code = RandomCode('C');
    const Clock::time_point lock = Clock::now();
    KT_RETURN_IF_ERROR(area_->PutString("KODE_C", code));
    KT_RETURN_IF_ERROR(Write());
    const Clock::time_point unlock = Clock::now();
    ++report_.codes;
    Log("code", lock, unlock, recno, std::string(text::TrimRight(before)), code, price, price);
    return Status::Ok();
  }

  // A new item: a copy of an ordinary item with a new identifier, code, name and price.
  Status Append() {
    KT_RETURN_IF_ERROR(FindTemplate());
    KT_RETURN_IF_ERROR(area_->GoTo(template_));
    std::vector<std::pair<const data::FieldSpec*, std::string>> texts;
    std::vector<std::pair<const data::FieldSpec*, double>> numbers;
    std::vector<std::pair<const data::FieldSpec*, bool>> logicals;
    for (const data::FieldSpec& f : area_->fields()) {
      if (f.type == 'C') {
        KT_ASSIGN_OR_RETURN(std::string v, area_->GetString(f.name));
        texts.emplace_back(&f, std::move(v));
      } else if (f.type == 'N') {
        KT_ASSIGN_OR_RETURN(double v, area_->GetNumber(f.name));
        numbers.emplace_back(&f, v);
      } else if (f.type == 'L') {
        KT_ASSIGN_OR_RETURN(bool v, area_->GetLogical(f.name));
        logicals.emplace_back(&f, v);
      }
    }
    const std::string code = RandomCode('N');
    const double price = RandomPrice();
    const Clock::time_point lock = Clock::now();
    KT_RETURN_IF_ERROR(area_->AppendBlank());
    const uint32_t recno = area_->RecNo();
    for (const auto& [f, v] : texts) {
      std::string value = v;
      if (f->name == "KODE_C") value = code;
      else if (f->name == "NAMA") value = "Barang Baru " + code;
      else if (f->name == "KODE_N" || f->name == "BARCODE" || f->name.rfind("KODE_", 0) == 0) value = "";
      KT_RETURN_IF_ERROR(area_->PutString(f->name, value));
    }
    for (const auto& [f, v] : numbers) {
      double value = v;
      if (f->name == "ID") value = 1000000 + recno;
      else if (f->name == "HARGA_J_01") value = price;
      KT_RETURN_IF_ERROR(area_->PutNumber(f->name, value));
    }
    for (const auto& [f, v] : logicals) KT_RETURN_IF_ERROR(area_->PutLogical(f->name, v));
    KT_RETURN_IF_ERROR(Write());
    const Clock::time_point unlock = Clock::now();
    ++report_.appends;
    Log("append", lock, unlock, recno, "", code, 0, price);
    return Status::Ok();
  }

  const BackOfficeOptions o_;
  std::unique_ptr<WorkArea> area_;
  std::mt19937 rng_;
  std::ostream& log_;
  uint32_t price_first_, price_last_, code_first_, code_last_, template_;
  bool template_found_ = false;
  BackOfficeReport report_;
};

}  // namespace

Result<BackOfficeReport> RunBackOffice(const BackOfficeOptions& options, std::ostream& log) {
  if (options.appends_per_second < 0 || options.prices_per_second < 0 || options.codes_per_second < 0) {
    return Status::InvalidArgument("rates must not be negative");
  }
  std::filesystem::path table = options.data / "S_STOCK.G8A";
  if (!data::FindFileIgnoringCase(table)) table = options.data / "ST_DB" / "S_STOCK.G8A";
  data::OpenOptions open;
  open.read_only = false;
  KT_ASSIGN_OR_RETURN(std::unique_ptr<WorkArea> area, WorkArea::Open(table, "BACKOFFICE", open));
  KT_ASSIGN_OR_RETURN(uint32_t records, area->RecCount());
  if (records == 0) return Status::InvalidArgument(table.string() + ": no items to change");
  auto bad_range = [&](uint32_t first, uint32_t last) {
    return first > last || (first != 0 && first > records);
  };
  if (bad_range(options.price_first, options.price_last) || bad_range(options.code_first, options.code_last)) {
    return Status::InvalidArgument("record ranges must lie within the " + std::to_string(records) +
                                   " records");
  }
  BackOffice office(options, std::move(area), records, log);
  return office.Run();
}

}  // namespace kt::bench
