// Binary file streams. A stream for reading hands out the next bytes of the
// file; at its end a shorter array, and never an allocation larger than what
// remains. A stream for writing never touches the file it replaces until
// the writer commits: bytes go to a temporary file in the same folder,
// which Commit flushes, syncs and renames over the target; a stream that is
// dropped without a commit removes the temporary file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "files/atomic_file.h"
#include "files/regular_file.h"
#include "support/progress.h"

using ByteArray = std::vector<std::uint8_t>;

class BinaryStream {
  public:
    virtual ~BinaryStream() = default;
    // Appends all of bytes.
    virtual void WriteBytes(const ByteArray& bytes) = 0;
    virtual void WriteBytes(const void* data, std::size_t size) = 0;
    // The next count bytes, fewer at the end of the file.
    virtual ByteArray ReadBytes(std::int32_t count) = 0;
    // The next bytes into data, up to size of them; how many came.
    virtual std::size_t ReadBytesInto(void* data, std::size_t size);
    // How many bytes are left to read; -1 when the stream cannot tell.
    virtual long long BytesLeft() const { return -1; }
};

class FileStream;
class FileStream : public BinaryStream {
  public:
    ~FileStream() override;
    void WriteBytes(const ByteArray& bytes) override { WriteBytes(bytes.data(), bytes.size()); }
    void WriteBytes(const void* data, std::size_t size) override;
    ByteArray ReadBytes(std::int32_t count) override;
    std::size_t ReadBytesInto(void* data, std::size_t size) override;
    long long BytesLeft() const override { return remaining_; }
    // Makes what was written the file at the target path.
    void Commit();
    // From now on progress is told the share of total bytes read or
    // written, every few megabytes; when it answers false the stream
    // throws the cancelling error (kErrCancelled).
    void SetProgress(Progress progress, long long total);

  private:
    friend std::shared_ptr<FileStream> OpenFileForReading(const std::string& path);
    friend std::shared_ptr<FileStream> CreateFileForWriting(const std::string& path,
                                                            AtomicFile::Access access);
    FileStream() = default;
    // The share of the bytes to read or write that are done.
    double Share() const;

    std::string path_;
    FilePtr file_;             // for reading
    long long remaining_ = 0;  // for reading: bytes left in the file
    AtomicFile out_;           // for writing
    Progress progress_;
    long long total_ = 0, done_ = 0;
};

// Throws AppError when the file cannot be opened or created.
std::shared_ptr<FileStream> OpenFileForReading(const std::string& path);
std::shared_ptr<FileStream> CreateFileForWriting(
    const std::string& path, AtomicFile::Access access = AtomicFile::Access::kAsUsual);
