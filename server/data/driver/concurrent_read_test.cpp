// Reading an index while another program rewrites it: a collision is read again, never answered
// as damage or as "not found"; damage on an unchanged index is still reported; a found entry must
// agree with its record. The "writer" here rewrites the live .CDX page by page with the bytes of
// another build of the same table's index (as an engine that splits nodes or rebuilds in place
// would), bumping the change counter at the end, with or without the engines' index lock.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/coding.h"
#include "common/testing/files.h"
#include "server/data/driver/cdx_file.h"
#include "server/data/driver/cdx_node.h"
#include "server/data/driver/index_builder.h"
#include "server/data/driver/index_read_attempts.h"
#include "server/data/driver/range_lock.h"
#include "server/data/driver/work_area.h"

namespace kt::data {
namespace {

namespace fs = std::filesystem;
using kt::test_support::ReadFileBytes;
using kt::test_support::WriteFileBytes;

constexpr int kRecords = 3000;
constexpr int kOlderRecords = 2600;  // the older index knows only these

std::string Code(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K%05d", i);
  return buf;
}
std::string Name(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "ITEM %05d", kRecords + 1 - i);  // the opposite order
  return buf;
}

const std::vector<TagSpec> kTags = {{"KODE", "KODE", "", false, false},
                                    {"NAMA", "UPPER(NAMA)", "", false, false}};

// The live index file as another program writes it: through a descriptor of its own.
class IndexWriter {
 public:
  explicit IndexWriter(const fs::path& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
  ~IndexWriter() { ::close(fd_); }

  void Lock() { SetLock(F_WRLCK); }
  void Unlock() { SetLock(F_UNLCK); }

  uint32_t Counter() {
    std::byte raw[4];
    EXPECT_EQ(::pread(fd_, raw, 4, 8), 4);
    return DecodeFixedBE32(raw);
  }
  void BumpCounter() {
    std::byte raw[4];
    EncodeFixedBE32(raw, Counter() + 1);
    EXPECT_EQ(::pwrite(fd_, raw, 4, 8), 4);
  }
  void WritePage(uint64_t offset, std::string_view bytes) {
    EXPECT_EQ(::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(bytes.size()));
  }

  // Rewrites the file into `target` page by page in a shuffled order, keeping the counter until
  // the end, then bumps it. Under the index lock when `locked`.
  void Rewrite(const std::string& target, bool locked, std::mt19937& rng) {
    if (locked) Lock();
    const uint32_t counter = Counter();
    std::vector<std::size_t> pages(target.size() / kCdxPageSize);
    std::iota(pages.begin(), pages.end(), 0);
    std::shuffle(pages.begin(), pages.end(), rng);
    for (std::size_t n = 0; n < pages.size(); ++n) {
      std::string page = target.substr(pages[n] * kCdxPageSize, kCdxPageSize);
      if (pages[n] == 0) EncodeFixedBE32(page.data() + 8, counter);
      WritePage(pages[n] * kCdxPageSize, page);
      if (n % 8 == 0) sched_yield();
    }
    EXPECT_EQ(::ftruncate(fd_, static_cast<off_t>(target.size())), 0);
    BumpCounter();
    if (locked) Unlock();
  }

 private:
  void SetLock(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(kCdxLockOffset);
    lock.l_len = 1;
    ASSERT_EQ(::fcntl(fd_, F_OFD_SETLKW, &lock), 0);
  }
  const int fd_;
};

class ConcurrentReadTest : public testing::Test {
 protected:
  void SetUp() override {
    // Short waits keep the giving-up cases quick; the number of tries is what matters.
    CollisionPolicy policy;
    policy.first_wait = std::chrono::microseconds(200);
    policy.max_wait = std::chrono::microseconds(5000);
    SetCollisionPolicy(policy);

    // The older index: built while the table held only the first kOlderRecords records.
    const fs::path older_dir = dir_ / "older";
    fs::create_directories(older_dir);
    WriteTable(older_dir / "ITEMS.DBF", kOlderRecords);
    ASSERT_TRUE(BuildCompoundIndex(older_dir / "ITEMS.DBF", kTags).ok());
    older_ = ReadFileBytes(older_dir / "ITEMS.CDX");

    WriteTable(table_, kRecords);
    ASSERT_TRUE(BuildCompoundIndex(table_, kTags).ok());
    newer_ = ReadFileBytes(cdx_);
    ASSERT_NE(older_.size(), newer_.size());
  }
  void TearDown() override { SetCollisionPolicy(CollisionPolicy{}); }

  static void WriteTable(const fs::path& path, int records) {
    ASSERT_TRUE(WorkArea::Create(path, {{"KODE", 'C', 10, 0}, {"NAMA", 'C', 20, 0}}).ok());
    OpenOptions rw;
    rw.read_only = false;
    auto area = WorkArea::Open(path, "W", rw);
    ASSERT_TRUE(area.ok());
    for (int i = 1; i <= records; ++i) {
      ASSERT_TRUE((*area)->AppendBlank().ok());
      ASSERT_TRUE((*area)->PutString("KODE", Code(i)).ok());
      ASSERT_TRUE((*area)->PutString("NAMA", Name(i)).ok());
    }
    ASSERT_TRUE((*area)->Commit().ok());
  }

  std::unique_ptr<WorkArea> OpenItems(const char* order = "KODE") {
    auto area = WorkArea::Open(table_, "ITEMS");
    EXPECT_TRUE(area.ok()) << area.status().ToString();
    EXPECT_TRUE((*area)->SetOrder(order).ok());
    return std::move(area).value();
  }

  // The live index with the first child pointer of the KODE root pointing past the end of the
  // file (what a reader meets when it reads a parent written before its new child).
  std::pair<uint64_t, std::string> BreakKodeRoot() {
    auto cdx = CdxFile::Open(cdx_);
    EXPECT_TRUE(cdx.ok());
    auto snap = (*cdx)->Begin();
    auto dir = (*cdx)->Directory(*snap);
    auto header = (*cdx)->ReadTagHeader(dir->front().header_offset, *snap);
    const uint32_t root = header->root;
    std::string page = newer_.substr(root, kCdxPageSize);
    EXPECT_EQ(DecodeFixedLE16(page.data()) & CdxNode::kLeafBit, 0) << "the root must be interior";
    EncodeFixedBE32(page.data() + CdxNode::kInteriorEntriesOffset + 10 + 4, 0x00FFFE00);
    IndexWriter(cdx_).WritePage(root, page);
    return {root, newer_.substr(root, kCdxPageSize)};
  }

  kt::test_support::ScratchFolder scratch_{"kt_driver", "concurrent_"};
  const fs::path dir_ = scratch_.path();
  const fs::path table_ = dir_ / "ITEMS.DBF";
  const fs::path cdx_ = dir_ / "ITEMS.CDX";
  std::string older_, newer_;
};

TEST_F(ConcurrentReadTest, AMissWhileTheIndexChangesIsSoughtAgain) {
  WriteFileBytes(cdx_, older_);  // the table has records the index does not know yet
  auto area = OpenItems();
  const std::string appended = Code(kRecords);

  // Nothing changes during the seek: the miss is the answer.
  const CollisionCounters before = ReadCollisionCounters();
  auto sought = area->Seek(appended);
  ASSERT_TRUE(sought.ok());
  EXPECT_FALSE(*sought);
  EXPECT_TRUE(area->Eof());
  EXPECT_EQ(ReadCollisionCounters().retries, before.retries);

  // The writer publishes the newer index while the seek reads: the miss is not trusted.
  CollisionPolicy policy = CurrentCollisionPolicy();
  bool written = false;
  policy.before_check = [&] {
    if (written) return;
    written = true;
    IndexWriter writer(cdx_);
    std::mt19937 rng(1);
    writer.Rewrite(newer_, /*locked=*/false, rng);
  };
  SetCollisionPolicy(policy);
  sought = area->Seek(appended);
  ASSERT_TRUE(sought.ok()) << sought.status().ToString();
  EXPECT_TRUE(*sought);
  EXPECT_EQ(area->RecNo(), static_cast<uint32_t>(kRecords));
  EXPECT_GT(ReadCollisionCounters().retries, before.retries);

  // The second tag's header moved with the rewrite; the open area follows it.
  ASSERT_TRUE(area->SetOrder("NAMA").ok());
  sought = area->Seek(Name(kRecords));
  ASSERT_TRUE(sought.ok()) << sought.status().ToString();
  EXPECT_TRUE(*sought);
  EXPECT_EQ(area->RecNo(), static_cast<uint32_t>(kRecords));
}

// Misses in several orders rest on the index alone: one check after the last covers them all, and
// a change met by that check has every order sought again.
TEST_F(ConcurrentReadTest, MissesInSeveralOrdersAreCheckedOnceAndSoughtAgainAfterAChange) {
  WriteFileBytes(cdx_, older_);  // the table has records the index does not know yet
  auto area = OpenItems();
  const std::string code = Code(kRecords), name = Name(kRecords);
  const OrderSeek seeks[] = {{"KODE", code}, {"NAMA", name}};

  CollisionPolicy policy = CurrentCollisionPolicy();
  int checks = 0;
  policy.before_check = [&] { ++checks; };
  SetCollisionPolicy(policy);
  Result<OrderSeekResult> r = area->SeekInOrders(seeks);
  ASSERT_TRUE(r.ok()) << r.status().ToString();
  EXPECT_FALSE(r->found);
  EXPECT_EQ(checks, 1);
  EXPECT_TRUE(area->Eof());
  EXPECT_EQ(area->RecNo(), static_cast<uint32_t>(kRecords) + 1);

  // The writer publishes the newer index during the reads: the misses are not trusted, and the
  // code is found where the newer index has it.
  checks = 0;
  policy.before_check = [&] {
    if (checks++ > 0) return;
    IndexWriter writer(cdx_);
    std::mt19937 rng(2);
    writer.Rewrite(newer_, /*locked=*/false, rng);
  };
  SetCollisionPolicy(policy);
  const CollisionCounters before = ReadCollisionCounters();
  r = area->SeekInOrders(seeks);
  ASSERT_TRUE(r.ok()) << r.status().ToString();
  EXPECT_EQ(r->found, std::optional<std::size_t>(0));
  EXPECT_EQ(area->RecNo(), static_cast<uint32_t>(kRecords));
  EXPECT_EQ(area->order(), "KODE");
  EXPECT_GT(ReadCollisionCounters().retries, before.retries);
}

TEST_F(ConcurrentReadTest, AnInconsistencyIsACollisionWhenTheIndexMovedAndDamageWhenNot) {
  auto area = OpenItems();
  const auto [root, intact] = BreakKodeRoot();

  // Unchanged: read twice, then reported as what it is.
  const CollisionCounters before = ReadCollisionCounters();
  auto sought = area->Seek(Code(1));
  ASSERT_FALSE(sought.ok());
  EXPECT_TRUE(sought.status().IsCorruption());
  EXPECT_NE(sought.status().message().find("child pointer"), std::string::npos) << sought.status().message();
  EXPECT_EQ(sought.status().message().find("keeps changing"), std::string::npos);
  EXPECT_EQ(ReadCollisionCounters().damage, before.damage + 1);

  // The writer finishes its update while the reader looks at the broken page: read again.
  CollisionPolicy policy = CurrentCollisionPolicy();
  policy.before_check = [&, root = root, intact = intact] {
    IndexWriter writer(cdx_);
    writer.WritePage(root, intact);
    writer.BumpCounter();
  };
  SetCollisionPolicy(policy);
  sought = area->Seek(Code(1));
  ASSERT_TRUE(sought.ok()) << sought.status().ToString();
  EXPECT_TRUE(*sought);
  EXPECT_EQ(area->RecNo(), 1u);
  EXPECT_EQ(ReadCollisionCounters().damage, before.damage + 1);
}

TEST_F(ConcurrentReadTest, AnIndexThatNeverSettlesGivesUpSayingSo) {
  auto area = OpenItems();
  BreakKodeRoot();
  CollisionPolicy policy = CurrentCollisionPolicy();
  policy.max_attempts = 4;
  int checks = 0;
  policy.before_check = [&] {
    ++checks;
    IndexWriter(cdx_).BumpCounter();
  };
  SetCollisionPolicy(policy);
  const CollisionCounters before = ReadCollisionCounters();
  auto sought = area->Seek(Code(1));
  ASSERT_FALSE(sought.ok());
  EXPECT_NE(sought.status().message().find("keeps changing"), std::string::npos) << sought.status().message();
  EXPECT_NE(sought.status().message().find("child pointer"), std::string::npos);
  EXPECT_EQ(checks, 4);
  EXPECT_EQ(ReadCollisionCounters().gave_up, before.gave_up + 1);

  // The same for a miss that is never confirmed.
  WriteFileBytes(cdx_, newer_);
  checks = 0;
  sought = area->Seek("NOSUCHCODE");
  ASSERT_FALSE(sought.ok());
  EXPECT_NE(sought.status().message().find("keeps changing"), std::string::npos);
  EXPECT_EQ(checks, 4);
}

// A writer that holds the index lock is half-way through an update, so what the reader met is
// not damage; the reader tries again under the lock and so waits for the writer to finish.
TEST_F(ConcurrentReadTest, AReadMeetingALockedUpdateWaitsForTheWriter) {
  auto area = OpenItems();
  IndexWriter writer(cdx_);
  writer.Lock();
  const auto [root, intact] = BreakKodeRoot();
  CollisionPolicy policy = CurrentCollisionPolicy();
  int waits = 0;
  policy.before_retry = [&, root = root, intact = intact](int) {
    if (++waits != 2) return;  // the first wait is the retry; the second waits for the lock
    writer.WritePage(root, intact);
    writer.BumpCounter();
    writer.Unlock();
  };
  SetCollisionPolicy(policy);
  const CollisionCounters before = ReadCollisionCounters();
  auto sought = area->Seek(Code(42));
  ASSERT_TRUE(sought.ok()) << sought.status().ToString();
  EXPECT_TRUE(*sought);
  EXPECT_EQ(area->RecNo(), 42u);
  EXPECT_EQ(waits, 2);
  const CollisionCounters after = ReadCollisionCounters();
  EXPECT_EQ(after.retries, before.retries + 1);
  EXPECT_EQ(after.lock_waits, before.lock_waits + 1);
  EXPECT_EQ(after.damage, before.damage);
}

TEST_F(ConcurrentReadTest, AFoundEntryMustAgreeWithItsRecord) {
  auto area = OpenItems();
  auto first = area->Seek(Code(1));  // our keys agree with this index
  ASSERT_TRUE(first.ok() && *first);
  // Another program changes record 7's code and record 8's code to record 9's; its index update
  // has not come yet.
  const std::string table = ReadFileBytes(table_);
  const uint16_t header_length = DecodeFixedLE16(table.data() + 8);
  const uint16_t record_length = DecodeFixedLE16(table.data() + 10);
  {
    IndexWriter dbf(table_);
    dbf.WritePage(header_length + 6u * record_length + 1, "NEW7      ");
    dbf.WritePage(header_length + 7u * record_length + 1, Code(9) + "    ");
  }
  auto sought = area->Seek(Code(7));
  ASSERT_TRUE(sought.ok());
  EXPECT_FALSE(*sought) << "record 7 no longer has this code";
  EXPECT_TRUE(area->Eof());
  sought = area->Seek("NEW7");
  ASSERT_TRUE(sought.ok());
  EXPECT_FALSE(*sought) << "not in the index yet";
  sought = area->Seek(Code(8));
  ASSERT_TRUE(sought.ok());
  EXPECT_FALSE(*sought);
  sought = area->Seek(Code(9));
  ASSERT_TRUE(sought.ok());
  EXPECT_TRUE(*sought);
  EXPECT_EQ(area->RecNo(), 9u);

  // A record half appended (its bytes not written yet) is not an answer either.
  {
    IndexWriter dbf(table_);
    dbf.WritePage(header_length + 9u * record_length, std::string(1, '\0'));
  }
  sought = area->Seek(Code(10));
  ASSERT_TRUE(sought.ok());
  EXPECT_FALSE(*sought);
}

// Readers seek and walk while a writer that keeps the engines' lock rewrites the index again and
// again between its older and newer state. Every record both states know is found, every time,
// on its own record; walks never fail and never go backwards. After each rewrite the writer lets
// every reader finish two operations (as the back office pauses between updates): a writer that
// never lets go is an index that keeps changing, which readers rightly give up on.
TEST_F(ConcurrentReadTest, ReadersNeverMissWhileALockingWriterRewritesTheIndex) {
  CollisionPolicy policy;  // the production waits
  SetCollisionPolicy(policy);
  std::atomic<bool> done{false};
  std::atomic<int> seeks{0}, misses{0}, errors{0}, wrong{0}, walk_errors{0};
  std::array<std::atomic<int>, 3> progress{};  // operations finished by each reader
  std::string first_error;
  std::mutex error_mutex;
  auto note_error = [&](const Status& st) {
    std::scoped_lock lock(error_mutex);
    if (first_error.empty()) first_error = st.ToString();
  };

  auto seeker = [&](int seed) {
    auto area = OpenItems(seed % 2 ? "KODE" : "NAMA");
    std::mt19937 rng(seed);
    while (!done.load()) {
      const int i = 1 + static_cast<int>(rng() % kOlderRecords);
      auto sought = area->Seek(seed % 2 ? Code(i) : Name(i));
      ++seeks;
      ++progress[seed];
      if (!sought.ok()) {
        ++errors;
        note_error(sought.status());
      } else if (!*sought) {
        ++misses;
      } else if (area->RecNo() != static_cast<uint32_t>(i)) {
        ++wrong;
      }
    }
  };
  auto walker = [&] {
    auto area = OpenItems();
    while (!done.load()) {
      Status st = area->GoTop();
      std::string last;
      while (st.ok() && !area->Eof() && !done.load()) {
        auto code = area->GetString("KODE");
        if (!code.ok() || *code < last) {
          ++walk_errors;
          break;
        }
        last = *code;
        st = area->Skip(1);
        ++progress[0];
      }
      if (!st.ok()) {
        ++walk_errors;
        note_error(st);
      }
      ++progress[0];
    }
  };
  std::vector<std::thread> readers;
  readers.emplace_back(seeker, 1);
  readers.emplace_back(seeker, 2);
  readers.emplace_back(walker);

  IndexWriter writer(cdx_);
  std::mt19937 rng(7);
  bool stalled = false;
  for (int round = 0; round < 40; ++round) {
    writer.Rewrite(round % 2 ? newer_ : older_, /*locked=*/true, rng);
    std::array<int, 3> marks;
    for (std::size_t r = 0; r < marks.size(); ++r) marks[r] = progress[r].load();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto all_moved_on = [&] {
      for (std::size_t r = 0; r < marks.size(); ++r) {
        if (progress[r].load() < marks[r] + 2) return false;
      }
      return true;
    };
    while (!all_moved_on() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    if (!all_moved_on()) {
      stalled = true;
      break;
    }
  }
  // Let the readers also run on the settled file for a moment.
  const int settled = seeks.load() + 200;
  while (seeks.load() < settled) std::this_thread::yield();
  done = true;
  for (auto& t : readers) t.join();

  EXPECT_FALSE(stalled) << "readers stopped making progress";
  EXPECT_EQ(errors.load(), 0) << first_error;
  EXPECT_EQ(misses.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(walk_errors.load(), 0) << first_error;
  EXPECT_GT(seeks.load(), 200);
}


// ---- Tables and indexes that change under an open work area in other ways ----

// Waits (bounded) until `done` holds, seeking again and again as a session would.
template <typename Pred>
bool Eventually(Pred done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(ConcurrentReadTest, FilesReplacedByRenameAreOpenedAgain) {
  WriteFileBytes(cdx_, older_);
  auto area = OpenItems("NAMA");

  // A sync tool writes a new table (record 5 renamed) beside the old one and renames it over.
  std::string table = ReadFileBytes(table_);
  const uint16_t header_length = DecodeFixedLE16(table.data() + 8);
  const uint16_t record_length = DecodeFixedLE16(table.data() + 10);
  table.replace(header_length + 4u * record_length + 1 + 10, 20, "ITEM 00000 RENAMED  ");
  WriteFileBytes(dir_ / "ITEMS.TMP", table);
  fs::rename(dir_ / "ITEMS.TMP", table_);
  auto name_of_5 = [&]() -> std::string {
    (void)area->Seek(Name(6));  // a record that agrees with the index, as most do
    auto sought = area->Seek(Name(5));
    if (!sought.ok() || !*sought) return "?";
    return area->GetString("NAMA").value_or("?");
  };
  // The index still says Name(5) for record 5; the new table's record disagrees once it is read.
  EXPECT_TRUE(Eventually([&] { return name_of_5() == "?"; }));
  auto renamed = area->Seek("ITEM 00000");
  ASSERT_TRUE(renamed.ok());
  EXPECT_FALSE(*renamed) << "not in the index yet";

  // The index is rebuilt by the bulk builder, which also renames its new file over the old one.
  ASSERT_TRUE(BuildCompoundIndex(table_, kTags).ok());
  EXPECT_TRUE(Eventually([&] {
    auto sought = area->Seek("ITEM 00000 RENAMED");
    return sought.ok() && *sought && area->RecNo() == 5u;
  }));
  EXPECT_EQ(area->order(), "NAMA");
  ASSERT_TRUE(area->SetOrder("KODE").ok());
  auto appended = area->Seek(Code(kRecords));
  ASSERT_TRUE(appended.ok());
  EXPECT_TRUE(*appended) << "the new index knows every record";
}

TEST_F(ConcurrentReadTest, AnIndexRebuiltInPlaceIsFollowedToItsNewTagHeaders) {
  WriteFileBytes(cdx_, older_);
  auto area = OpenItems("NAMA");
  auto sought = area->Seek(Name(kOlderRecords));
  ASSERT_TRUE(sought.ok() && *sought);
  // Rebuilt in place (same file): the NAMA tag's header now lies elsewhere.
  WriteFileBytes(cdx_, newer_);
  sought = area->Seek(Name(kRecords));
  ASSERT_TRUE(sought.ok()) << sought.status().ToString();
  EXPECT_TRUE(*sought);
  EXPECT_EQ(area->RecNo(), static_cast<uint32_t>(kRecords));
  ASSERT_TRUE(area->GoBottom().ok());
  EXPECT_EQ(area->RecNo(), 1u);  // NAMA runs opposite to the record order
}

TEST_F(ConcurrentReadTest, ARecordCutOffByATruncatedTableIsAReadError) {
  auto area = OpenItems();
  const std::string table = ReadFileBytes(table_);
  const uint16_t header_length = DecodeFixedLE16(table.data() + 8);
  const uint16_t record_length = DecodeFixedLE16(table.data() + 10);
  fs::resize_file(table_, header_length + 1000u * record_length + record_length / 2);

  auto sought = area->Seek(Code(1000));
  ASSERT_TRUE(sought.ok());
  EXPECT_TRUE(*sought) << "records before the cut still read";
  sought = area->Seek(Code(2000));
  ASSERT_FALSE(sought.ok()) << "a record that cannot be read is no empty record";
  EXPECT_NE(sought.status().message().find("past the end"), std::string::npos) << sought.status().message();
  sought = area->Seek(Code(1001));  // the half record at the cut
  EXPECT_FALSE(sought.ok());
}

}  // namespace
}  // namespace kt::data
