#pragma once
// The app's cloud document container and the metadata query over its
// documents.
//
// There is no iCloud on Linux. The container is a directory that stands for
// it: whatever syncs that directory (a network share, a sync client) plays
// the cloud's role. It is $IGROOVEBIX_CLOUD_HOME when set, otherwise
// $XDG_DATA_HOME/igroovebix/iCloud (default ~/.local/share/igroovebix/iCloud).
// The container is available only while that directory exists, so the user
// turns "iCloud" on by creating it; documents live in its "Documents" folder,
// exactly where the platform keeps ubiquitous documents.
//
// A directory holds only whole local files, so every item reads as
// downloaded (current, 100 %) and starting a download has nothing to do.
//
// Moves into and inside the container never replace an existing file (Linux
// rename would do so silently, where the platform's move fails); across file
// systems a move copies to a hidden temporary name, flushes it, links it in
// under the final name and only then removes the source.
//
// Thread-safe (no shared state): the container look-up may run on a global
// queue, everything else on the main thread.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace platform {

enum class UbiquitousItemDownloadingStatus { NotDownloaded, Downloaded, Current };

// One result of a metadata query: the attributes the system reads.
struct MetadataItem {
  std::string displayName;
  uint64_t fileSize = 0;
  Date contentChangeDate;
  std::filesystem::path url;
  UbiquitousItemDownloadingStatus downloadingStatus = UbiquitousItemDownloadingStatus::Current;
  bool isDownloading = false;
  double percentDownloaded = 100.0;

  bool operator==(const MetadataItem&) const = default;
};

// The file manager's side of the container. A test double stands in for it
// where download states matter.
class CloudContainer {
 public:
  virtual ~CloudContainer() = default;

  // The container's root; empty when the cloud is unavailable. May be slow
  // on the platform, so callers ask from a background queue.
  virtual std::optional<std::filesystem::path> URLForUbiquityContainer() = 0;
  // Every document below <container>/Documents (any depth) whose file name
  // ends in `nameSuffix`, compared case-sensitively. Empty when unavailable.
  virtual std::vector<MetadataItem> documentItems(const std::string& nameSuffix) = 0;
  virtual bool startDownloadingUbiquitousItem(const std::filesystem::path& url, std::string* error = nullptr) = 0;
  // Moves a local file to `destination` inside the container, creating its
  // folder; fails when something is already there or the destination lies
  // outside the container.
  virtual bool setUbiquitous(const std::filesystem::path& localURL, const std::filesystem::path& destination,
                             std::string* error = nullptr) = 0;
  virtual bool removeItem(const std::filesystem::path& url, std::string* error = nullptr) = 0;
  // Renames or moves an item; fails when the target exists.
  virtual bool moveItem(const std::filesystem::path& from, const std::filesystem::path& to,
                        std::string* error = nullptr) = 0;
};

class DirectoryCloudContainer final : public CloudContainer {
 public:
  // The directory of the rule above; empty when no environment names one.
  static std::optional<std::filesystem::path> defaultRoot();

  explicit DirectoryCloudContainer(std::optional<std::filesystem::path> root = defaultRoot());

  const std::optional<std::filesystem::path>& root() const { return root_; }

  std::optional<std::filesystem::path> URLForUbiquityContainer() override;
  std::vector<MetadataItem> documentItems(const std::string& nameSuffix) override;
  bool startDownloadingUbiquitousItem(const std::filesystem::path& url, std::string* error = nullptr) override;
  bool setUbiquitous(const std::filesystem::path& localURL, const std::filesystem::path& destination,
                     std::string* error = nullptr) override;
  bool removeItem(const std::filesystem::path& url, std::string* error = nullptr) override;
  bool moveItem(const std::filesystem::path& from, const std::filesystem::path& to,
                std::string* error = nullptr) override;

 private:
  bool inside(const std::filesystem::path& p) const;

  std::optional<std::filesystem::path> root_;
};

// Moves a regular file without ever replacing what is at `to`: a no-replace
// rename, or across file systems a copy under a hidden name in the target
// folder that is linked in and then the source removed.
bool moveFileWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                              std::string* error = nullptr);

}  // namespace platform
