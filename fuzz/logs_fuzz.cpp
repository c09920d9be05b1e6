// Hosts' logs as the station reads them: the bytes become a log file, plain,
// gzip'd here (one member or two, whole or cut short) or written as they are
// (mutated gzip among them), with host prefixes (foreign, the line's own or
// a template's, some damaged), CRLF, interleaved chips or binary noise put
// in; read with the line's own prefix, a template, or a fuzzed template. The file goes through the
// log reader, the host-log parser, the analysis's judging of each unit and a part's statistics.
// Beyond "never a crash or a hang": a whole log gives back exactly its
// lines, a cut one a prefix of them and says it stopped early, the counts
// agree with one another, judged values are finite, and the drift detector
// runs over every unit the part folded.
#include "analysis/Analysis.h"
#include "analysis/Judge.h"
#include "config/ConfigCheck.h"
#include "logs/HostLog.h"
#include "logs/LogSource.h"
#include "support/StationChips.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <zlib.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace station;

enum Container { kPlain = 0, kGzip = 1, kTwoMembers = 2, kAsTheyAre = 3 };

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok)
        fail(what);
}

// The chips' windows under the embedded configuration, made once.
const std::vector<ConfigReport>& windows() {
    static const std::vector<ConfigReport> w = [] {
        std::vector<ConfigReport> all;
        for (sim::Chip chip : AllChips())
            all.push_back(CheckConfig(DefaultConfigText(), chip));
        return all;
    }();
    return w;
}

// One file in memory per process, named by its /proc path.
struct MemoryFile {
    int fd = -1;
    std::string path;
    MemoryFile() {
        fd = ::memfd_create("fuzz-log", 0);
        check(fd >= 0, "memfd_create");
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    ~MemoryFile() { ::close(fd); }
    void Write(const std::string& bytes) const {
        check(::ftruncate(fd, 0) == 0, "ftruncate");
        size_t at = 0;
        while (at < bytes.size()) {
            ssize_t n = ::pwrite(fd, bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
            check(n > 0, "pwrite");
            at += static_cast<size_t>(n);
        }
    }
};

const MemoryFile& memoryFile() {
    static const MemoryFile f;
    return f;
}

std::string gzip(const std::string& text) {
    z_stream z{};
    check(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK, "deflateInit2");
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    check(deflate(&z, Z_FINISH) == Z_STREAM_END, "deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The lines of a text as the reader gives them: split at '\n', a last line
// without one counted when it holds anything.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return lines;
}

// How the lines are prefixed and read.
enum PrefixKind { kNoPrefix = 0, kHostLines = 1, kTemplateLines = 2, kTemplateUnread = 3 };

// The template of kTemplateLines: a time with blanks in it.
const char* const kTemplate = "{time:%d/%m/%Y %H:%M:%S.%f} [{station}] {serial} ";

// Line n's prefix of the kind; every fifth one damaged when `damage` says so.
std::string prefixOf(int kind, bool damage, long n) {
    const std::string station = "station-" + std::to_string(n / 4 % 3);
    const bool damaged = damage && n % 5 == 2;
    if (kind == kHostLines) {
        std::string out;
        AppendHostPrefix(&out, 1796623200000LL + n * 1001, station,
                         "35693803564380" + std::to_string(n % 10), 1 + static_cast<int>(n % 3));
        if (damaged)
            out[5] = '9'; // month 92
        return out;
    }
    if (kind == kTemplateLines || kind == kTemplateUnread)
        return "07/12/2026 06:" + std::to_string(10 + n % 50) + ":0" + std::to_string(n % 10) +
               "." + std::to_string(n % 1000) + (damaged ? " (" : " [") + station + "] SN" +
               std::to_string(n) + " ";
    return std::string();
}

// The text's lines with a host's prefix, CRLF, the halves interleaved (so
// that chips mix) and noise put in, as the flags say.
std::string shape(const std::string& raw, unsigned flags, size_t noiseAt, const std::string& noise,
                  int prefixKind, bool damage) {
    std::vector<std::string> lines = linesOf(raw);
    if (flags & 0x20) {
        std::vector<std::string> mixed;
        const size_t half = (lines.size() + 1) / 2;
        for (size_t i = 0; i < half; ++i) {
            mixed.push_back(lines[i]);
            if (half + i < lines.size())
                mixed.push_back(lines[half + i]);
        }
        lines.swap(mixed);
    }
    std::string text;
    long n = 0;
    for (const std::string& l : lines) {
        if (flags & 0x04)
            text += "2024-03-0" + std::to_string(1 + n % 9) + " 10:" + std::to_string(10 + n % 50) +
                    ":00 [station-" + std::to_string(n % 4) + "] ";
        text += prefixOf(prefixKind, damage, n);
        text += l;
        text += (flags & 0x08) ? "\r\n" : "\n";
        ++n;
    }
    if (!noise.empty())
        text.insert(std::min(noiseAt, text.size()), noise);
    return text;
}

struct ReadBack {
    std::vector<std::string> lines;
    LogStop stop;
    long long bytes = 0;
};

ReadBack readLog(const LogInput& log) {
    ReadBack r;
    LogPart whole;
    PartReader reader(log, whole);
    check(reader.Open(), "the log cannot be opened");
    std::string_view line;
    while (reader.Next(&line))
        r.lines.emplace_back(line);
    r.stop = reader.Stop();
    r.bytes = reader.BytesRead();
    check(reader.Error().empty(), "an error beside the stop");
    return r;
}

// The parser and the judging over the lines read: what they hand over agrees
// with the lines they were given.
struct Parsed {
    long units = 0, passed = 0, cut = 0;
};

Parsed parse(const std::vector<std::string>& lines, bool early, const PrefixTemplate& prefix,
             bool knownStations) {
    Parsed p;
    const long n = static_cast<long>(lines.size());
    UnitReader units(
        [&](LoggedUnit& u) {
            ++p.units;
            check(u.attempt >= 0, "a negative attempt");
            check(u.station.empty() || !knownStations || u.station == "station-0" ||
                      u.station == "station-1" || u.station == "station-2",
                  "a station no prefix named");
            check(u.time == kNoTime || u.time >= 0, "a time before 1970 from a prefix");
            check(!u.points.empty(), "a unit without a PFER point");
            check(u.firstLine >= 1 && u.firstLine <= n, "a unit's first line outside the log");
            check(static_cast<long>(u.points.size()) <= n, "more points than lines");
            JudgedUnit j = JudgeUnit(u, windows()[ChipIndex(u.chip)]);
            check(j.passed == u.Passed(), "judged otherwise than the log");
            if (j.passed) {
                ++p.passed;
                check(j.failure.empty() && !j.hasTriple, "a passed unit with a failure");
            } else {
                check(!j.failure.empty(), "a failed unit without a reason");
            }
            check(j.hasReference && std::isfinite(j.referenceHz), "no finite reference point");
            for (int v = 0; v < kValues; ++v)
                if (j.has[v])
                    check(std::isfinite(j.value[v]), "a judged value that is not finite");
        },
        prefix);
    long number = 0;
    for (const std::string& l : lines)
        units.Line(l, ++number);
    if (early)
        p.cut = units.Cut();
    else
        units.Finish();
    const HostLog& c = units.Counts();
    check(p.units + p.cut <= n, "more units than lines");
    check(c.libraryLines + c.unread <= n, "more library and unread lines than lines");
    check(c.unreadExamples.size() <= static_cast<size_t>(c.unread), "more examples than unread");
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const unsigned flags = in.ConsumeIntegral<uint8_t>();
    const uint16_t cutAt = in.ConsumeIntegral<uint16_t>();
    const uint16_t splitAt = in.ConsumeIntegral<uint16_t>();
    // Bits 0-1 the prefix's kind, 2 some prefixes damaged, 3 a fuzzed template read with.
    const unsigned prefixFlags = in.ConsumeIntegral<uint8_t>();
    const int prefixKind = static_cast<int>(prefixFlags & 3);
    PrefixTemplate prefix;
    std::string error;
    if (prefixKind == kTemplateLines)
        check(PrefixTemplate::Parse(kTemplate, &prefix, &error), "the template cannot be read");
    if (prefixFlags & 8) {
        const std::string fuzzed = in.ConsumeRandomLengthString(48);
        if (!PrefixTemplate::Parse(fuzzed, &prefix, &error))
            check(!error.empty(), "a template refused without a reason");
    }
    const int container = static_cast<int>(flags & 3);
    std::string noise;
    if (flags & 0x40)
        noise = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, 16));
    const std::string raw = in.ConsumeRemainingBytesAsString();

    // What the file holds once read, and the file itself.
    const std::string text = container == kAsTheyAre
                                 ? raw
                                 : shape(raw, flags, splitAt % (raw.size() + 1), noise, prefixKind,
                                         (prefixFlags & 4) != 0);
    std::string file = text;
    std::string readable = text; // what a whole read gives
    bool cut = false, wholeExpected = container != kAsTheyAre;
    if (container == kGzip) {
        file = gzip(text);
    } else if (container == kTwoMembers) {
        const size_t at = splitAt % (text.size() + 1);
        const std::string first = gzip(text.substr(0, at));
        file = first + gzip(text.substr(at));
        if (flags & 0x10) {
            // Cut anywhere past the magic bytes but at the seam between the members,
            // where the file is whole.
            size_t keep = 2 + cutAt % (file.size() - 2);
            cut = keep != first.size();
            if (!cut)
                readable = text.substr(0, at);
            wholeExpected = !cut;
            file.resize(keep);
        }
    }
    if (container == kGzip && (flags & 0x10)) {
        file.resize(2 + cutAt % (file.size() - 2));
        cut = true;
        wholeExpected = false;
    }
    const MemoryFile& mem = memoryFile();
    mem.Write(file);

    std::vector<LogInput> logs;
    check(ListLogs({mem.path}, &logs, &error, prefix), "the log cannot be listed");
    check(logs.size() == 1, "one file, one log");
    const LogInput& log = logs[0];
    if (container == kGzip || container == kTwoMembers)
        check(log.gzip, "a gzip log taken for plain text");
    const bool shaped = container != kAsTheyAre && !(container == kPlain && log.gzip);
    if (!shaped)
        wholeExpected = false; // plain text that begins as gzip does is read as gzip

    // Every line begins with a prefix made here, so only its stations can be named.
    const bool knownStations = shaped && noise.empty() && (flags & 0x04) == 0 &&
                               (prefixFlags & 8) == 0 &&
                               (prefixKind == kHostLines || prefixKind == kTemplateLines);
    const ReadBack back = readLog(log);
    const std::vector<std::string> expected = linesOf(readable);
    if (cut)
        check(back.stop.end == LogEnd::CutShort, "a cut gzip stream not flagged as cut short");
    if (wholeExpected) {
        check(!back.stop.Early(), "a whole log flagged as damaged");
        check(back.lines == expected, "a whole log read otherwise than written");
        check(back.bytes == static_cast<long long>(readable.size()),
              "bytes read differ from the text");
    }
    if (back.stop.Early()) {
        check(back.stop.byte >= 0 && back.stop.byte <= static_cast<long long>(file.size()),
              "the stop's byte outside the file");
        check(!back.stop.why.empty(), "a stop without a reason");
    }
    if (shaped) {
        // Whatever was read is the text's lines in order: cut lines are not given.
        check(back.lines.size() <= expected.size(), "more lines than written");
        for (size_t i = 0; i < back.lines.size(); ++i)
            check(back.lines[i] == expected[i], "a line read otherwise than written");
    } else if (!log.gzip) {
        check(back.lines == expected, "plain bytes read otherwise than written");
    }

    const Parsed parsed = parse(back.lines, back.stop.Early(), prefix, knownStations);

    // A part's statistics, as a worker makes and hands them back.
    LogPart whole;
    PartAnalysis part;
    check(AnalysePart(log, whole, windows(), nullptr, &part, &error),
          "the part cannot be analysed");
    const StationStats& s = part.log;
    long units = 0, passed = 0, failed = 0;
    for (const StationStats& st : part.stations) {
        units += st.units;
        passed += st.passed;
        for (const auto& kv : st.failures)
            failed += kv.second.count;
    }
    check(s.lines == static_cast<long>(back.lines.size()), "the part read other lines");
    check(units == parsed.units && passed == parsed.passed, "the part judged other units");
    check(failed == units - passed, "failures do not add up to the failed units");
    check(s.Incomplete() == back.stop.Early(), "the part's stop differs from the reader's");
    if (s.Incomplete()) {
        check(s.incomplete.units == units, "units before the stop differ from the units read");
        check(s.incomplete.cutUnits == parsed.cut, "cut units differ");
        check(s.incomplete.line == s.lines + 1, "the stop's line is not the one after the last");
    }
    check(part.readings.Size() == static_cast<size_t>(units), "a unit missing from the readings");
    ReadingSeries::Cursor cursor(&part.readings);
    Reading r;
    size_t read = 0;
    error.clear(); // a fuzzed template's refusal may still stand in it
    while (cursor.Next(&r, &error)) {
        check(r.station < part.stations.size(), "a reading of no station");
        check(r.unit >= 1 && r.unit <= part.stations[r.station].units,
              "a reading outside its station's units");
        ++read;
    }
    check(error.empty() && read == part.readings.Size(), "the readings cannot be read back");
    return 0;
}
