#include "server/data/driver/shared_file.h"

#include <map>
#include <mutex>
#include <tuple>

namespace kt::data {

namespace {

struct RegistryKey {
  uint64_t device;
  uint64_t inode;
  bool writable;
  auto operator<=>(const RegistryKey&) const = default;
};

struct Registry {
  std::mutex mutex;
  // State below is protected by `mutex`.
  std::map<RegistryKey, std::weak_ptr<SharedFile>> files;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // never destroyed: used until process exit
  return *registry;
}

}  // namespace

SharedFile::SharedFile(platform::NativeFile file, std::filesystem::path path, bool writable)
    : file_(std::move(file)), path_(std::move(path)), writable_(writable) {}

SharedFile::~SharedFile() = default;

Result<std::size_t> SharedFile::ReadAt(uint64_t offset, std::span<std::byte> out) const {
  return file_.ReadAt(offset, out);
}

Status SharedFile::ReadExact(uint64_t offset, std::span<std::byte> out, const char* what) const {
  KT_ASSIGN_OR_RETURN(std::size_t got, ReadAt(offset, out));
  if (got != out.size()) {
    return Status::Corruption(path_.filename().string() + ": " + what + " at offset " +
                              std::to_string(offset) + " runs past the end of the file");
  }
  return Status::Ok();
}

Status SharedFile::WriteAt(uint64_t offset, std::span<const std::byte> data) const {
  if (!writable_) return Status::InvalidArgument(path_.filename().string() + ": opened read-only");
  return file_.WriteAt(offset, data);
}

Status SharedFile::Sync() const { return file_.Sync(); }

Result<FileStamp> SharedFile::Stamp() const { return file_.Stamp(); }

Status SharedFile::LockRange(uint64_t offset, uint64_t length, bool exclusive) const {
  {
    std::unique_lock held(range_mutex_);
    range_cv_.wait(held, [&] { return held_ranges_.count(offset) == 0; });
    held_ranges_.insert(offset);
  }
  if (Status st = file_.Lock(offset, length, exclusive); !st.ok()) {
    {
      std::scoped_lock held(range_mutex_);
      held_ranges_.erase(offset);
    }
    range_cv_.notify_all();
    return st;
  }
  return Status::Ok();
}

void SharedFile::UnlockRange(uint64_t offset, uint64_t length) const {
  file_.Unlock(offset, length);
  {
    std::scoped_lock held(range_mutex_);
    held_ranges_.erase(offset);
  }
  range_cv_.notify_all();
}

Result<std::shared_ptr<SharedFile>> OpenExclusiveFile(const std::filesystem::path& path,
                                                      bool writable) {
  KT_ASSIGN_OR_RETURN(platform::NativeFile file, platform::NativeFile::Open(path, writable, /*exclusive=*/true));
  return std::shared_ptr<SharedFile>(new SharedFile(std::move(file), path, writable));
}

Result<std::shared_ptr<SharedFile>> OpenSharedFile(const std::filesystem::path& path,
                                                   bool writable) {
  KT_ASSIGN_OR_RETURN(platform::NativeFile file, platform::NativeFile::Open(path, writable, /*exclusive=*/false));
  const RegistryKey key{file.identity().device, file.identity().file, writable};
  Registry& registry = TheRegistry();
  std::scoped_lock lock(registry.mutex);
  auto it = registry.files.find(key);
  if (it != registry.files.end()) {
    if (auto existing = it->second.lock()) return existing;  // `file` closes here
  }
  // Drop entries whose files were closed, so the map does not grow without bound.
  std::erase_if(registry.files, [](const auto& entry) { return entry.second.expired(); });
  std::shared_ptr<SharedFile> shared(new SharedFile(std::move(file), path, writable));
  registry.files[key] = shared;
  return shared;
}

std::size_t OpenSharedFileCount() {
  Registry& registry = TheRegistry();
  std::scoped_lock lock(registry.mutex);
  std::size_t n = 0;
  for (const auto& [key, file] : registry.files) n += file.expired() ? 0 : 1;
  return n;
}

}  // namespace kt::data
