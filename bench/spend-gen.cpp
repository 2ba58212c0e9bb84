// Writes a synthetic tree of Claude Code transcripts for the spend benchmark:
//   spend-gen DIR [--bytes N] [--files N] [--seed N] [--days D]
// DIR/projects/<project>/<session>.jsonl, sizes spread like real usage (many
// small sessions, a few huge ones). Each session alternates user prompts,
// assistant responses streamed as several lines that share a message id and
// request id with a growing output count, and tool results, whose large
// payloads (echoed again in "toolUseResult") dominate the bytes. Only the
// assistant lines, and the rare sub-agent result, carry a "usage" object.
// Timestamps fall within the last D days (default 6.5) and every file's
// modification time is its last message's time.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace {

using Rng = std::mt19937_64;

// Rough averages of one turn, to pace huge sessions.
constexpr double kBytesPerTurn = 12000;
constexpr double kSecondsPerTurn = 35;

struct Options {
    std::string dir;
    double bytes = 1024.0 * 1024 * 1024;
    int files = 2000;
    unsigned seed = 42;
    double days = 6.5;
};

// A pool of JSON-escaped text to cut payloads from: prose, code, paths,
// escaped line feeds, tabs and quotes, and some multi-byte characters.
class TextPool {
public:
    explicit TextPool(Rng& rng)
    {
        static const char* const words[] = {
            "the", "function", "returns", "a", "value", "when", "called", "with", "an", "argument", "const",
            "auto", "std::vector<int>", "if", "(x", "==", "nullptr)", "{", "}", "return", "false;", "src/main.cpp",
            "error:", "expected", "';'", "before", "usage", "token", "import", "from", "def", "self,", "class",
            "Widget", "test", "passed", "failed", "make", "build", "cmake", "--target", "install", "0x7ffe",
            "12345", "README.md", "TODO:", "fix", "this", "later", "=>", "async", "await", "let", "mut", "fn",
            "é", "→", "中文", "✓", "🙂", "naïve", "Ünïcode",
        };
        std::uniform_int_distribution<std::size_t> pick(0, std::size(words) - 1);
        std::uniform_int_distribution<int> roll(0, 99);
        m_text.reserve(kSize + 64);
        while (m_text.size() < kSize) {
            const int r = roll(rng);
            if (r < 8)
                m_text += "\\n";
            else if (r < 10)
                m_text += "\\t";
            else if (r < 12)
                m_text += "\\\"";
            else if (r < 13)
                m_text += "\\\"usage\\\": 3,";
            m_text += words[pick(rng)];
            m_text += ' ';
        }
    }

    // A slice of about `length` bytes that starts and ends on a character
    // and never splits an escape.
    std::string_view slice(Rng& rng, std::size_t length) const
    {
        length = std::min(length, kSize - 16);
        std::uniform_int_distribution<std::size_t> at(0, kSize - length - 8);
        std::size_t b = at(rng);
        while (b > 0 && ((m_text[b] & 0xC0) == 0x80 || m_text[b - 1] == '\\'))
            --b;
        std::size_t e = b + length;
        while ((m_text[e] & 0xC0) == 0x80)
            ++e;
        // An odd run of backslashes before the end would escape the closing quote.
        std::size_t run = 0;
        while (run < e - b && m_text[e - 1 - run] == '\\')
            ++run;
        if (run % 2)
            ++e;
        return std::string_view(m_text).substr(b, e - b);
    }

private:
    static constexpr std::size_t kSize = std::size_t(8) << 20;
    std::string m_text;
};

std::string hex(Rng& rng, int n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s(static_cast<std::size_t>(n), '0');
    for (auto& c : s)
        c = digits[rng() & 15];
    return s;
}

std::string uuid(Rng& rng)
{
    return hex(rng, 8) + '-' + hex(rng, 4) + '-' + hex(rng, 4) + '-' + hex(rng, 4) + '-' + hex(rng, 12);
}

std::string iso(double t)
{
    const auto secs = static_cast<std::time_t>(std::floor(t));
    const int ms = static_cast<int>((t - std::floor(t)) * 1000);
    std::tm tm {};
    gmtime_r(&secs, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return buf;
}

// Size in bytes, log-normal with a long tail.
std::size_t lognormal(Rng& rng, double median, double sigma, double cap)
{
    std::lognormal_distribution<double> d(std::log(median), sigma);
    return static_cast<std::size_t>(std::clamp(d(rng), 16.0, cap));
}

class SessionWriter {
public:
    SessionWriter(Rng& rng, const TextPool& pool, std::string cwd, std::string session, double start, double pace)
        : m_rng(rng), m_pool(pool), m_cwd(std::move(cwd)), m_session(std::move(session)), m_t(start), m_pace(pace)
    {
        static const char* const models[] = {"claude-sonnet-4-5-20250929", "claude-opus-4-1-20250805",
                                             "claude-opus-4-5-20251101", "claude-3-5-haiku-20241022",
                                             "claude-haiku-4-5-20251001"};
        m_model = models[std::uniform_int_distribution<int>(0, 9)(rng) % 5 < 3 ? 0 : m_rng() % 5];
    }

    double now() const { return m_t; }

    // One exchange: a prompt or tool result, then a streamed response.
    void turn(std::string& out)
    {
        advance(2, 40);
        if (m_pendingTool.empty())
            userPrompt(out);
        else
            toolResult(out);
        advance(1, 20);
        assistant(out);
        if (std::uniform_int_distribution<int>(0, 99)(m_rng) == 0) {
            out += "{\"type\":\"summary\",\"summary\":\"";
            out += m_pool.slice(m_rng, 60);
            out += "\",\"leafUuid\":\"" + uuid(m_rng) + "\"}\n";
        }
    }

private:
    void advance(double lo, double hi) { m_t += m_pace * std::uniform_real_distribution<double>(lo, hi)(m_rng); }

    void envelope(std::string& out, const char* type)
    {
        out += "{\"parentUuid\":\"" + m_parent + "\",\"isSidechain\":false,\"userType\":\"external\",\"cwd\":\"" + m_cwd
            + "\",\"sessionId\":\"" + m_session + "\",\"version\":\"2.0.14\",\"gitBranch\":\"main\",\"type\":\"" + type
            + "\",";
        m_parent = uuid(m_rng);
    }

    void tail(std::string& out)
    {
        out += ",\"uuid\":\"" + m_parent + "\",\"timestamp\":\"" + iso(m_t) + "\"}\n";
    }

    void userPrompt(std::string& out)
    {
        envelope(out, "user");
        out += "\"message\":{\"role\":\"user\",\"content\":\"";
        out += m_pool.slice(m_rng, lognormal(m_rng, 300, 1.0, 20000));
        out += "\"}";
        tail(out);
    }

    void toolResult(std::string& out)
    {
        const std::size_t size = lognormal(m_rng, 4200, 1.6, 2.0 * 1024 * 1024);
        const std::string_view payload = m_pool.slice(m_rng, size);
        envelope(out, "user");
        out += "\"message\":{\"role\":\"user\",\"content\":[{\"tool_use_id\":\"" + m_pendingTool
            + "\",\"type\":\"tool_result\",\"content\":\"";
        out += payload;
        out += "\"}]},\"toolUseResult\":";
        if (std::uniform_int_distribution<int>(0, 99)(m_rng) < 2) {
            // A sub-agent's result reports its own usage: parsed, not counted.
            out += "{\"status\":\"completed\",\"content\":[{\"type\":\"text\",\"text\":\"";
            out += m_pool.slice(m_rng, payload.size() / 4);
            out += "\"}],\"totalTokens\":51234,\"usage\":{\"input_tokens\":12,\"output_tokens\":900}}";
        } else {
            out += "{\"stdout\":\"";
            out += payload;
            out += "\",\"stderr\":\"\",\"interrupted\":false}";
        }
        tail(out);
        m_pendingTool.clear();
    }

    void assistant(std::string& out)
    {
        const std::string messageId = "msg_01" + hex(m_rng, 22);
        const std::string requestId = "req_011" + hex(m_rng, 21);
        const int blocks = std::uniform_int_distribution<int>(1, 4)(m_rng);
        const bool usesTool = std::uniform_int_distribution<int>(0, 99)(m_rng) < 70;
        const double input = std::uniform_int_distribution<int>(0, 8)(m_rng);
        const double cacheWrite = lognormal(m_rng, 1500, 1.2, 60000);
        m_context += cacheWrite;
        if (m_context > 180000)
            m_context = 20000; // the conversation was compacted
        double output = std::uniform_int_distribution<int>(1, 30)(m_rng);
        for (int b = 0; b < blocks; ++b) {
            const bool last = b == blocks - 1;
            envelope(out, "assistant");
            out += "\"message\":{\"id\":\"" + messageId + "\",\"type\":\"message\",\"role\":\"assistant\",\"model\":\""
                + m_model + "\",\"content\":[";
            if (last && usesTool) {
                m_pendingTool = "toolu_01" + hex(m_rng, 22);
                out += "{\"type\":\"tool_use\",\"id\":\"" + m_pendingTool
                    + "\",\"name\":\"Bash\",\"input\":{\"command\":\"";
                out += m_pool.slice(m_rng, lognormal(m_rng, 250, 1.5, 400000));
                out += "\",\"description\":\"Run it\"}}";
            } else if (b == 0 && blocks > 2) {
                out += "{\"type\":\"thinking\",\"thinking\":\"";
                out += m_pool.slice(m_rng, lognormal(m_rng, 900, 1.0, 40000));
                out += "\",\"signature\":\"" + hex(m_rng, 200) + "\"}";
            } else {
                out += "{\"type\":\"text\",\"text\":\"";
                out += m_pool.slice(m_rng, lognormal(m_rng, 500, 1.1, 40000));
                out += "\"}";
            }
            char usage[600];
            std::snprintf(usage, sizeof usage,
                          "],\"stop_reason\":%s,\"stop_sequence\":null,\"usage\":{\"input_tokens\":%.0f,"
                          "\"cache_creation_input_tokens\":%.0f,\"cache_read_input_tokens\":%.0f,"
                          "\"cache_creation\":{\"ephemeral_5m_input_tokens\":%.0f,\"ephemeral_1h_input_tokens\":0},"
                          "\"output_tokens\":%.0f,\"service_tier\":\"standard\"}},\"requestId\":\"%s\"",
                          last ? (usesTool ? "\"tool_use\"" : "\"end_turn\"") : "null", input, cacheWrite, m_context,
                          cacheWrite, output, requestId.c_str());
            out += usage;
            tail(out);
            output += lognormal(m_rng, 120, 1.0, 8000);
            advance(0.2, 3);
        }
    }

    Rng& m_rng;
    const TextPool& m_pool;
    std::string m_cwd;
    std::string m_session;
    std::string m_model;
    std::string m_parent = "null";
    std::string m_pendingTool;
    double m_t;
    double m_pace; // time scale, so that a huge session still ends before now
    double m_context = 12000;
};

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--bytes" && (v = value()))
            o.bytes = std::strtod(v, nullptr);
        else if (a == "--files" && (v = value()))
            o.files = std::atoi(v);
        else if (a == "--seed" && (v = value()))
            o.seed = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
        else if (a == "--days" && (v = value()))
            o.days = std::strtod(v, nullptr);
        else if (!a.empty() && a[0] != '-' && o.dir.empty())
            o.dir = std::string(a);
        else
            return false;
    }
    return !o.dir.empty() && o.files > 0 && o.bytes > 0 && o.days > 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: spend-gen DIR [--bytes N] [--files N] [--seed N] [--days D]\n");
        return 2;
    }
    Rng rng(o.seed);
    const TextPool pool(rng);
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();

    // File sizes: log-normal, scaled to the requested total.
    std::vector<double> sizes(static_cast<std::size_t>(o.files));
    std::lognormal_distribution<double> spread(0, 1.6);
    double sum = 0;
    for (double& s : sizes)
        sum += (s = spread(rng));
    for (double& s : sizes)
        s = std::max(2000.0, s * o.bytes / sum);

    const int projects = std::max(1, o.files / 50);
    std::size_t written = 0;
    std::string out;
    for (int f = 0; f < o.files; ++f) {
        const std::string project = "-home-user-src-project" + std::to_string(f % projects);
        const std::filesystem::path dir = std::filesystem::path(o.dir) / "projects" / project;
        std::filesystem::create_directories(dir);
        const std::string session = uuid(rng);
        const double span = o.days * 86400;
        const double start = now - span + std::uniform_real_distribution<double>(0, span * 0.9)(rng);
        const auto target = static_cast<std::size_t>(sizes[static_cast<std::size_t>(f)]);
        const double expectedSeconds = static_cast<double>(target) / kBytesPerTurn * kSecondsPerTurn;
        const double pace = std::min(1.0, 0.8 * (now - start) / expectedSeconds);
        SessionWriter writer(rng, pool, "/home/user/src/project" + std::to_string(f % projects), session, start, pace);

        const std::filesystem::path path = dir / (session + ".jsonl");
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) {
            std::perror(path.c_str());
            return 1;
        }
        std::size_t fileBytes = 0;
        while (fileBytes < target) {
            out.clear();
            writer.turn(out);
            std::fwrite(out.data(), 1, out.size(), file);
            fileBytes += out.size();
        }
        std::fclose(file);
        written += fileBytes;

        // The file was last written when its last message was; never in the future.
        const double last = std::min(writer.now(), now - 1);
        struct timespec times[2];
        times[0].tv_sec = static_cast<time_t>(last);
        times[0].tv_nsec = 0;
        times[1] = times[0];
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    std::fprintf(stderr, "spend-gen: %d files, %zu bytes under %s/projects\n", o.files, written, o.dir.c_str());
    return 0;
}
