#pragma once
// Finds the lines of a transcript that mention the quoted key "usage" without
// holding the file in memory: the file is read in fixed-size chunks into one
// reused buffer, each chunk is searched for the 7-byte key, and only the line
// around a hit is handed on. A line longer than the buffer is fetched again by
// offset when it holds a hit; one longer than the line cap is skipped.
//
// A file can also be read stepwise (open, read from an offset, close), so a
// transcript that only grew is read on from where the last read stopped.

#include "collection/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace vexlor {

class UsageLineReader {
public:
    // Bytes readable after the end of every line handed to the callback, so a
    // parser that reads ahead in blocks may use the line in place.
    static constexpr std::size_t kPadding = 64;
    static constexpr std::size_t kDefaultChunkBytes = std::size_t(1) << 20;
    static constexpr std::size_t kDefaultMaxLineBytes = std::size_t(64) << 20;

    explicit UsageLineReader(std::size_t chunkBytes = kDefaultChunkBytes,
                             std::size_t maxLineBytes = kDefaultMaxLineBytes);
    ~UsageLineReader();
    UsageLineReader(const UsageLineReader&) = delete;
    UsageLineReader& operator=(const UsageLineReader&) = delete;

    using LineCallback = std::function<void(std::string_view line)>;

    // Calls `onLine` for every line (without its line feed) that contains the
    // quoted key, in file order, reading at most the size the file had when it
    // was opened. Returns false when the file cannot be opened, is not a
    // regular file (FIFOs and devices are refused without blocking) or a read
    // fails; lines already handed on stay handed on.
    bool forEachUsageLine(const QString& path, const LineCallback& onLine);

    // Stepwise reading. open() refuses what forEachUsageLine() refuses and
    // closes any file opened before.
    bool open(const QString& path);
    void close();
    [[nodiscard]] qint64 openSize() const { return m_size; } // the size when opened
    [[nodiscard]] FileIdentity openIdentity() const { return m_identity; }
    // The `length` bytes of the open file that end at `end`; nothing when they
    // cannot all be read.
    [[nodiscard]] std::optional<QByteArray> bytesBefore(qint64 end, qint64 length) const;
    // As above, for the open file from `from` (the start of a line) to its
    // size at opening.
    bool forEachUsageLine(qint64 from, const LineCallback& onLine);
    // While a line is handed on: whether a line feed ended it. The file's last
    // line may lack one because it is still being written.
    [[nodiscard]] bool lineComplete() const { return m_lineComplete; }
    // After a read: the offset just past the last line feed it met, or where
    // it started when it met none. Lines before it will not change while the
    // file is only appended to.
    [[nodiscard]] qint64 completeEnd() const { return m_completeEnd; }

    // Where the quoted key first starts in [begin, end), or null. The vector
    // variants fall back to the next simpler one where the CPU lacks them.
    enum class KeySearch { automatic, portable, sse2, avx2 };
    [[nodiscard]] static const char* findKey(const char* begin, const char* end, KeySearch how = KeySearch::automatic);

    // Lines skipped because they held the key but exceeded the line cap.
    [[nodiscard]] std::size_t oversizedLines() const { return m_oversized; }

private:
    std::size_t m_chunk;
    std::size_t m_maxLine;
    std::unique_ptr<char[]> m_buffer; // m_chunk + kPadding bytes, reused across files
    std::vector<char> m_longLine;     // a line that did not fit the buffer
    std::size_t m_oversized = 0;
    int m_fd = -1;
    qint64 m_size = 0;
    FileIdentity m_identity;
    bool m_lineComplete = true;
    qint64 m_completeEnd = 0;
};

} // namespace vexlor
