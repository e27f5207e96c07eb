// The system file layer on real files: positioned reads, how openings share a file, byte-range
// locks between two handles, and the two safe ways of writing a whole file.
#include "common/platform/files/native_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/testing/files.h"

namespace kt::platform {
namespace {

using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

constexpr uint64_t kLockArea = 0x7FFFFFFE;  // where xBase programs lock, far beyond any data

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('A' + (i * 7 + i / 26) % 26);
  return s;
}

std::span<const std::byte> Bytes(std::string_view s) { return std::as_bytes(std::span(s.data(), s.size())); }

class NativeFileTest : public ::testing::Test {
 protected:
  test_support::ScratchFolder dir_{"kt_native_file", ""};
  std::filesystem::path Path(const char* name) const { return dir_.path() / name; }
};

TEST_F(NativeFileTest, ReadsAtAnyOffsetAndStopsAtTheEnd) {
  const std::string content = Pattern(70000);
  WriteFileBytes(Path("T.DBF"), content);
  auto file = NativeFile::Open(Path("T.DBF"), /*writable=*/false, /*exclusive=*/false);
  ASSERT_TRUE(file.ok()) << file.status().ToString();
  struct Case {
    uint64_t offset;
    std::size_t size;
    std::size_t expected;
  };
  for (const Case& c : {Case{0, 10, 10}, Case{65530, 100, 100}, Case{69990, 100, 10}, Case{70000, 5, 0},
                        Case{1u << 20, 5, 0}, Case{123, 0, 0}}) {
    std::vector<std::byte> out(c.size);
    auto got = file->ReadAt(c.offset, out);
    ASSERT_TRUE(got.ok()) << got.status().ToString();
    ASSERT_EQ(*got, c.expected) << "offset " << c.offset;
    const std::size_t from = static_cast<std::size_t>(std::min<uint64_t>(c.offset, content.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), c.expected), content.substr(from, c.expected))
        << "offset " << c.offset;
  }
}

TEST_F(NativeFileTest, ThreadsReadingOneHandleEachGetTheirOwnOffset) {
  const std::string content = Pattern(4096);
  WriteFileBytes(Path("T.DBF"), content);
  auto file = NativeFile::Open(Path("T.DBF"), /*writable=*/false, /*exclusive=*/false);
  ASSERT_TRUE(file.ok());
  std::vector<std::future<int>> readers;
  for (int t = 0; t < 4; ++t) {
    readers.push_back(std::async(std::launch::async, [&, t] {
      int wrong = 0;
      for (int round = 0; round < 500; ++round) {
        const uint64_t offset = static_cast<uint64_t>((t * 977 + round * 131) % 4000);
        std::byte out[64];
        auto got = file->ReadAt(offset, out);
        if (!got.ok() || *got != sizeof out || std::memcmp(out, content.data() + offset, sizeof out) != 0) ++wrong;
      }
      return wrong;
    }));
  }
  for (auto& r : readers) EXPECT_EQ(r.get(), 0);
}

TEST_F(NativeFileTest, WritesLandAtTheirOffsetAndShowInTheStamp) {
  WriteFileBytes(Path("T.DBF"), Pattern(100));
  auto file = NativeFile::Open(Path("T.DBF"), /*writable=*/true, /*exclusive=*/false);
  ASSERT_TRUE(file.ok());
  ASSERT_TRUE(file->WriteAt(150, Bytes("XYZ")).ok());
  ASSERT_TRUE(file->Sync().ok());
  auto stamp = file->Stamp();
  ASSERT_TRUE(stamp.ok());
  EXPECT_EQ(stamp->size, 153u);
  const std::string after = ReadFileBytes(Path("T.DBF"));
  EXPECT_EQ(after.substr(150), "XYZ");
  EXPECT_EQ(after.substr(100, 50), std::string(50, '\0'));  // the gap reads as zeros
}

TEST_F(NativeFileTest, OpeningsReportWhatWentWrong) {
  EXPECT_TRUE(NativeFile::Open(Path("NONE.DBF"), false, false).status().IsNotFound());
  EXPECT_TRUE(NativeFile::Open(Path("NODIR") / "X.DBF", false, false).status().IsNotFound());
  std::filesystem::create_directory(Path("SUB"));
  const Status folder = NativeFile::Open(Path("SUB"), false, false).status();
  EXPECT_TRUE(folder.IsIOError()) << folder.ToString();
}

// Shared openings read and write side by side (as the accounting product and the server do);
// an exclusive opening waits for nobody and is refused while anyone has the file.
TEST_F(NativeFileTest, SharedOpeningsCoexistAndExclusiveOnesDoNot) {
  WriteFileBytes(Path("T.DBF"), Pattern(10));
  auto a = NativeFile::Open(Path("T.DBF"), true, false);
  auto b = NativeFile::Open(Path("T.DBF"), true, false);
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_EQ(a->identity().device, b->identity().device);
  EXPECT_EQ(a->identity().file, b->identity().file);
  ASSERT_TRUE(a->WriteAt(0, Bytes("a")).ok());
  std::byte seen[1];
  ASSERT_TRUE(b->ReadAt(0, seen).ok());
  EXPECT_EQ(seen[0], std::byte{'a'});  // one file, no private copies

  const Status refused = NativeFile::Open(Path("T.DBF"), true, true).status();
  EXPECT_TRUE(refused.IsUnavailable()) << refused.ToString();
  *a = NativeFile();
  *b = NativeFile();
  auto only = NativeFile::Open(Path("T.DBF"), true, true);
  ASSERT_TRUE(only.ok()) << only.status().ToString();
  EXPECT_TRUE(NativeFile::Open(Path("T.DBF"), false, false).status().IsUnavailable());
}

TEST_F(NativeFileTest, RangeLocksConflictBetweenTwoHandlesOfOneProcess) {
  WriteFileBytes(Path("T.CDX"), Pattern(512));
  auto a = NativeFile::Open(Path("T.CDX"), true, false);
  auto b = NativeFile::Open(Path("T.CDX"), true, false);
  ASSERT_TRUE(a.ok() && b.ok());

  ASSERT_EQ(a->TryLock(kLockArea, 1, /*exclusive=*/true), RangeLockResult::kLocked);
  EXPECT_EQ(b->TryLock(kLockArea, 1, false), RangeLockResult::kBusy);
  EXPECT_EQ(b->TryLock(kLockArea, 1, true), RangeLockResult::kBusy);
  EXPECT_TRUE(b->RangeWriteLocked(kLockArea, 1));
  EXPECT_EQ(b->TryLock(kLockArea - 1, 1, true), RangeLockResult::kLocked);  // the byte next to it is free
  b->Unlock(kLockArea - 1, 1);
  a->Unlock(kLockArea, 1);
  EXPECT_FALSE(b->RangeWriteLocked(kLockArea, 1));

  // Readers share; a writer waits for every reader.
  ASSERT_EQ(a->TryLock(kLockArea, 1, false), RangeLockResult::kLocked);
  ASSERT_EQ(b->TryLock(kLockArea, 1, false), RangeLockResult::kLocked);
  EXPECT_FALSE(b->RangeWriteLocked(kLockArea, 1));
  b->Unlock(kLockArea, 1);
  EXPECT_EQ(b->TryLock(kLockArea, 1, true), RangeLockResult::kBusy);
  a->Unlock(kLockArea, 1);
  EXPECT_EQ(b->TryLock(kLockArea, 1, true), RangeLockResult::kLocked);
  b->Unlock(kLockArea, 1);

  // Data reads are not hindered by a lock in the lock area.
  ASSERT_EQ(a->TryLock(kLockArea, 1, true), RangeLockResult::kLocked);
  std::byte out[16];
  auto got = b->ReadAt(0, out);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(*got, sizeof out);
  a->Unlock(kLockArea, 1);
}

TEST_F(NativeFileTest, BlockingLockIsGrantedWhenTheHolderLetsGo) {
  WriteFileBytes(Path("T.CDX"), Pattern(16));
  auto a = NativeFile::Open(Path("T.CDX"), true, false);
  auto b = NativeFile::Open(Path("T.CDX"), true, false);
  ASSERT_TRUE(a.ok() && b.ok());
  ASSERT_EQ(a->TryLock(kLockArea, 1, true), RangeLockResult::kLocked);
  auto waiter = std::async(std::launch::async, [&] { return b->Lock(kLockArea, 1, true); });
  a->Unlock(kLockArea, 1);
  const Status st = waiter.get();
  ASSERT_TRUE(st.ok()) << st.ToString();
  EXPECT_EQ(a->TryLock(kLockArea, 1, false), RangeLockResult::kBusy);  // b holds it now
  b->Unlock(kLockArea, 1);
}

TEST_F(NativeFileTest, CreateNewFileNeverReplacesOne) {
  ASSERT_TRUE(CreateNewFile(Path("NEW.DAT"), Bytes("first")).ok());
  const Status again = CreateNewFile(Path("NEW.DAT"), Bytes("second"));
  EXPECT_TRUE(again.IsInvalidArgument()) << again.ToString();
  EXPECT_EQ(ReadFileBytes(Path("NEW.DAT")), "first");
  EXPECT_TRUE(CreateNewFile(Path("NODIR") / "NEW.DAT", Bytes("x")).IsIOError());
}

TEST_F(NativeFileTest, ReplaceFileContentsSwapsInTheNewBytes) {
  ASSERT_TRUE(ReplaceFileContents(Path("SET.KX25"), Bytes("made")).ok());  // no old file
  EXPECT_EQ(ReadFileBytes(Path("SET.KX25")), "made");
  ASSERT_TRUE(ReplaceFileContents(Path("SET.KX25"), Bytes("replaced, and longer")).ok());
  EXPECT_EQ(ReadFileBytes(Path("SET.KX25")), "replaced, and longer");
  EXPECT_FALSE(std::filesystem::exists(Path("SET.KX25.tmp")));
}

// Each step can fail; whichever does, the old contents stay and no temporary file is left.
TEST_F(NativeFileTest, FailedReplaceKeepsTheOldFile) {
  WriteFileBytes(Path("SET.KX25"), "old");
  std::filesystem::create_directory(Path("SET.KX25.tmp"));  // the temporary file cannot be made
  Status st = ReplaceFileContents(Path("SET.KX25"), Bytes("new"));
  EXPECT_TRUE(st.IsIOError());
  EXPECT_NE(st.ToString().find("cannot create"), std::string::npos) << st.ToString();
  EXPECT_EQ(ReadFileBytes(Path("SET.KX25")), "old");
  std::filesystem::remove(Path("SET.KX25.tmp"));

  // The last step fails: a folder (with something in it) stands where the file should go.
  std::filesystem::create_directories(Path("TAKEN") / "inside");
  st = ReplaceFileContents(Path("TAKEN"), Bytes("new"));
  EXPECT_TRUE(st.IsIOError());
  EXPECT_NE(st.ToString().find("cannot replace"), std::string::npos) << st.ToString();
  EXPECT_TRUE(std::filesystem::is_directory(Path("TAKEN") / "inside"));
  EXPECT_FALSE(std::filesystem::exists(Path("TAKEN.tmp")));
}

TEST_F(NativeFileTest, ReplaceWhileAnotherProgramHoldsTheFile) {
#ifdef _WIN32
  // A program that opened the file without letting others delete or rename it (as most do)
  // blocks the swap; the file keeps its old contents and the temporary file goes.
  WriteFileBytes(Path("SET.KX25"), "old");
  auto held = NativeFile::Open(Path("SET.KX25"), true, false);
  ASSERT_TRUE(held.ok());
  const Status st = ReplaceFileContents(Path("SET.KX25"), Bytes("new"));
  EXPECT_TRUE(st.IsIOError()) << st.ToString();
  std::byte seen[3];
  ASSERT_TRUE(held->ReadAt(0, seen).ok());
  EXPECT_EQ(std::memcmp(seen, "old", 3), 0);
  *held = NativeFile();
  EXPECT_EQ(ReadFileBytes(Path("SET.KX25")), "old");
  EXPECT_FALSE(std::filesystem::exists(Path("SET.KX25.tmp")));
#else
  GTEST_SKIP() << "Linux renames over a file that is open elsewhere (the holder keeps the old contents); "
                  "only Windows refuses the swap";
#endif
}

TEST_F(NativeFileTest, NamesIgnoreCaseOnWindows) {
#ifdef _WIN32
  WriteFileBytes(Path("STOCK.DBF"), "x");
  auto file = NativeFile::Open(Path("stock.dbf"), false, false);
  ASSERT_TRUE(file.ok()) << file.status().ToString();
  auto upper = NativeFile::Open(Path("STOCK.DBF"), false, false);
  ASSERT_TRUE(upper.ok());
  EXPECT_EQ(file->identity().file, upper->identity().file);
#else
  GTEST_SKIP() << "Linux names are case-sensitive; the data folder's file lookup finds the stored spelling "
                  "(server/data/driver/file_lookup.h)";
#endif
}

}  // namespace
}  // namespace kt::platform
