#include "UsageLineReader.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VEXLOR_X86_SEARCH 1
#endif

namespace vexlor {

namespace {

constexpr char kKey[] = "\"usage\"";
constexpr std::size_t kKeyLength = sizeof(kKey) - 1;

bool isKeyAt(const char* p)
{
    return std::memcmp(p, kKey, kKeyLength) == 0;
}

// The key search. Almost every byte of a transcript is looked at here, so
// it runs on vector compares: a position is a candidate when 'u' stands one
// byte after it and 'g' four bytes after it (a far rarer pair than the
// quotes, which JSON is full of), and only candidates are compared in full.
const char* findKeyPortable(const char* p, const char* end)
{
    return static_cast<const char*>(::memmem(p, static_cast<std::size_t>(end - p), kKey, kKeyLength));
}

#ifdef VEXLOR_X86_SEARCH
const char* findKeySse2(const char* p, const char* end)
{
    const __m128i u = _mm_set1_epi8('u');
    const __m128i g = _mm_set1_epi8('g');
    for (; end - p >= 16 + 6; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, u), _mm_cmpeq_epi8(b, g))));
        while (mask) {
            const int k = __builtin_ctz(mask);
            if (isKeyAt(p + k))
                return p + k;
            mask &= mask - 1;
        }
    }
    return findKeyPortable(p, end);
}

__attribute__((target("avx2"))) const char* findKeyAvx2(const char* p, const char* end)
{
    const __m256i u = _mm256_set1_epi8('u');
    const __m256i g = _mm256_set1_epi8('g');
    for (; end - p >= 32 + 6; p += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4));
        auto mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, u), _mm256_cmpeq_epi8(b, g))));
        while (mask) {
            const int k = __builtin_ctz(mask);
            if (isKeyAt(p + k))
                return p + k;
            mask &= mask - 1;
        }
    }
    return findKeySse2(p, end);
}
#endif

using KeyFinder = const char* (*)(const char*, const char*);

KeyFinder keyFinder(UsageLineReader::KeySearch how)
{
#ifdef VEXLOR_X86_SEARCH
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    switch (how) {
    case UsageLineReader::KeySearch::portable:
        return findKeyPortable;
    case UsageLineReader::KeySearch::sse2:
        return findKeySse2;
    case UsageLineReader::KeySearch::avx2:
    case UsageLineReader::KeySearch::automatic:
        return avx2 ? findKeyAvx2 : findKeySse2;
    }
    return findKeySse2;
#else
    Q_UNUSED(how);
    return findKeyPortable;
#endif
}

} // namespace

const char* UsageLineReader::findKey(const char* begin, const char* end, KeySearch how)
{
    if (how == KeySearch::automatic) {
        static const KeyFinder chosen = keyFinder(how);
        return chosen(begin, end);
    }
    return keyFinder(how)(begin, end);
}

namespace {

// pread that retries on interruption; -1 on error, 0 at the end of the file.
ssize_t readAt(int fd, char* into, std::size_t want, qint64 offset)
{
    for (;;) {
        const ssize_t n = ::pread(fd, into, want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

} // namespace

UsageLineReader::UsageLineReader(std::size_t chunkBytes, std::size_t maxLineBytes)
    : m_chunk(std::max<std::size_t>(chunkBytes, 4 * kKeyLength))
    , m_maxLine(maxLineBytes)
    , m_buffer(new char[m_chunk + kPadding])
{
}

UsageLineReader::~UsageLineReader()
{
    close();
}

bool UsageLineReader::forEachUsageLine(const QString& path, const LineCallback& onLine)
{
    if (!open(path))
        return false;
    const bool ok = forEachUsageLine(0, onLine);
    close();
    return ok;
}

bool UsageLineReader::open(const QString& path)
{
    close();
    // O_NONBLOCK: a FIFO named like a transcript must not stall the scan.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_size = static_cast<qint64>(st.st_size);
    m_identity = FileIdentity::of(st);
    return true;
}

void UsageLineReader::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_identity = {};
}

std::optional<QByteArray> UsageLineReader::bytesBefore(qint64 end, qint64 length) const
{
    if (m_fd < 0 || length < 0 || end < length || end > m_size)
        return std::nullopt;
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = readAt(m_fd, bytes.data() + got, static_cast<std::size_t>(length - got), end - length + got);
        if (n <= 0)
            return std::nullopt;
        got += n;
    }
    return bytes;
}

bool UsageLineReader::forEachUsageLine(qint64 from, const LineCallback& onLine)
{
    m_completeEnd = from;
    m_lineComplete = true;
    if (m_fd < 0 || from < 0)
        return false;
    const int fd = m_fd;
    const qint64 end = m_size;
    if (end - from > static_cast<qint64>(m_chunk))
        ::posix_fadvise(fd, from, 0, POSIX_FADV_SEQUENTIAL);

    char* const buf = m_buffer.get();
    qint64 bufOff = from;   // file offset of buf[0]
    std::size_t len = 0;    // valid bytes in buf
    std::size_t pos = 0;    // where the next search in buf continues
    qint64 fileOff = from;  // next file offset to read (bufOff + len)
    qint64 lineStart = from; // file offset of the first byte of the current line
    bool pendingHit = false; // the current line holds the key; its end is not yet found

    // Hands on the line [start, stop) of the file; from the buffer when it is
    // all there, otherwise read again by offset (bounded by the line cap).
    auto emitLine = [&](qint64 start, qint64 stop, bool complete) -> bool {
        const auto length = static_cast<std::size_t>(stop - start);
        if (length > m_maxLine) {
            ++m_oversized;
            return true;
        }
        m_lineComplete = complete;
        if (start >= bufOff) {
            onLine(std::string_view(buf + (start - bufOff), length));
            return true;
        }
        m_longLine.resize(length + kPadding);
        std::size_t got = 0;
        while (got < length) {
            const ssize_t n = readAt(fd, m_longLine.data() + got, length - got, start + static_cast<qint64>(got));
            if (n < 0)
                return false;
            if (n == 0)
                break; // the file shrank under us: the line is gone
            got += static_cast<std::size_t>(n);
        }
        if (got == length)
            onLine(std::string_view(m_longLine.data(), length));
        if (m_longLine.capacity() > 4 * m_chunk)
            std::vector<char>().swap(m_longLine); // give a rare huge line's memory back
        return true;
    };

    for (;;) {
        bool eof = fileOff >= end;
        if (!eof) {
            const auto want = static_cast<std::size_t>(std::min<qint64>(static_cast<qint64>(m_chunk - len), end - fileOff));
            const ssize_t n = readAt(fd, buf + len, want, fileOff);
            if (n < 0)
                return false;
            if (const auto* nl = static_cast<const char*>(::memrchr(buf + len, '\n', static_cast<std::size_t>(n))))
                m_completeEnd = bufOff + (nl - buf) + 1;
            len += static_cast<std::size_t>(n);
            fileOff += n;
            eof = n == 0 || fileOff >= end;
        }

        for (;;) {
            if (pendingHit) {
                const auto* nl = static_cast<const char*>(std::memchr(buf + pos, '\n', len - pos));
                if (!nl && !eof) {
                    pos = len;
                    break;
                }
                const std::size_t e = nl ? static_cast<std::size_t>(nl - buf) : len;
                if (!emitLine(lineStart, bufOff + static_cast<qint64>(e), nl != nullptr))
                    return false;
                pendingHit = false;
                pos = std::min(e + 1, len);
                lineStart = bufOff + static_cast<qint64>(e) + 1;
                continue;
            }
            const char* hit = findKey(buf + pos, buf + len);
            if (!hit)
                break;
            const auto h = static_cast<std::size_t>(hit - buf);
            if (const auto* nl = static_cast<const char*>(::memrchr(buf + pos, '\n', h - pos)))
                lineStart = bufOff + (nl - buf) + 1;
            pendingHit = true;
            pos = h + kKeyLength;
        }
        if (eof)
            return true;

        if (!pendingHit) {
            if (const auto* nl = static_cast<const char*>(::memrchr(buf + pos, '\n', len - pos)))
                lineStart = bufOff + (nl - buf) + 1;
            // Search again from the last few bytes: a key may straddle chunks.
            pos = std::max(pos, len >= kKeyLength - 1 ? len - (kKeyLength - 1) : std::size_t(0));
        }
        // Keep a short unfinished line in the buffer; a long one is dropped
        // and read again by offset should it turn out to hold the key.
        std::size_t keep = pos;
        const qint64 partial = bufOff + static_cast<qint64>(len) - lineStart;
        if (lineStart >= bufOff && partial <= static_cast<qint64>(m_chunk / 2))
            keep = static_cast<std::size_t>(lineStart - bufOff);
        keep = std::min(keep, pos);
        std::memmove(buf, buf + keep, len - keep);
        bufOff += static_cast<qint64>(keep);
        len -= keep;
        pos -= keep;
    }
}

} // namespace vexlor
