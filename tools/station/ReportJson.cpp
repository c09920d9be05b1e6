// The report as JSON lines: one object a line, each with its "type".
#include "Report.h"

namespace station {

namespace {

std::string orNull(const std::optional<double>& v) {
    return v ? JsonNumber(*v) : std::string("null");
}

// [module,operation,code]
std::string tripleArray(const std::optional<ERROR_TRIPLE>& t) {
    if (!t)
        return "null";
    return "[" + std::to_string(t->module) + "," + std::to_string(t->operation) + "," +
           std::to_string(t->code) + "]";
}

std::string valuesObject(const ValueStats& v) {
    bool any = v.count > 0;
    std::string w = v.window.known
                        ? "[" + JsonNumber(v.window.low) + "," + JsonNumber(v.window.high) + "]"
                        : "null";
    return "{\"count\":" + std::to_string(v.count) + ",\"mean\":" + JsonNumber(any ? v.mean : 0) +
           ",\"sd\":" + JsonNumber(v.sd) + ",\"min\":" + JsonNumber(any ? v.min : 0) +
           ",\"max\":" + JsonNumber(any ? v.max : 0) + ",\"window\":" + w +
           ",\"outside\":" + std::to_string(v.outside) + "}";
}

class JsonWriter : public ReportWriter {
public:
    explicit JsonWriter(FILE* out) : m_out(out) {}

    void WriteLibrary(const LibraryFacts& lib) override {
        std::string actions;
        for (const auto& a : lib.actions)
            actions += std::string(actions.empty() ? "" : ",") +
                       "{\"id\":" + std::to_string(a.first) + ",\"name\":" + JsonString(a.second) +
                       "}";
        std::fprintf(m_out,
                     "{\"type\":\"library\",\"path\":%s,\"file_version\":%s,\"version\":%s,"
                     "\"build\":%s,\"actions\":[%s]}\n",
                     JsonString(lib.path).c_str(), JsonString(lib.versionText).c_str(),
                     JsonString(lib.version).c_str(), JsonString(lib.build).c_str(),
                     actions.c_str());
    }

    void WriteCheck(const ConfigReport& check, const std::string&) override {
        for (const Finding& f : check.findings)
            std::fprintf(m_out, "{\"type\":\"finding\",\"level\":\"%s\",\"line\":%d,\"text\":%s}\n",
                         f.level == Finding::Warning ? "warning" : "note", f.line,
                         JsonString(f.text).c_str());
    }

    void WriteRunHeader(const LibraryFacts& lib, const std::string& config,
                        const ConfigReport& check) override {
        WriteLibrary(lib);
        WriteCheck(check, config);
    }

    void WriteUnit(const UnitReport& u) override {
        for (const Arrival& a : u.arrivals) {
            if (a.isItem)
                writeItem(u.items[a.index]);
            else
                std::fprintf(m_out, "{\"type\":\"line\",\"level\":%d,\"text\":%s}\n",
                             u.lines[a.index].level, JsonString(u.lines[a.index].text).c_str());
        }
        std::string error = "null";
        if (u.error)
            error = "{\"module\":" + std::to_string(u.error->module) +
                    ",\"operation\":" + std::to_string(u.error->operation) +
                    ",\"code\":" + std::to_string(u.error->code) +
                    ",\"extra\":" + std::to_string(u.error->extra) + "}";
        std::string exception = "null";
        if (u.threw)
            exception = "{\"message\":" + JsonString(u.message) +
                        ",\"text\":" + JsonString(u.fullText) + "}";
        static const char* const names[UnitReport::kFlashFields] = {"cafc", "cdac", "slope_length"};
        std::string flash;
        for (int i = 0; i < UnitReport::kFlashFields; ++i)
            flash += std::string(i ? "," : "") + "\"" + names[i] +
                     "\":" + (u.flash[i] ? std::to_string(*u.flash[i]) : "null");
        std::fprintf(m_out,
                     "{\"type\":\"result\",\"chip\":%s,\"verdict\":\"%s\",\"return\":%u,"
                     "\"error\":%s,\"exception\":%s,\"flash\":{%s},\"ignored_failures\":%d,"
                     "\"station_ms\":%s,\"pauses_ms\":%s,\"instrument_ms\":%s,\"seed\":%llu}\n",
                     JsonString(u.run.chip).c_str(), u.passed ? "PASS" : "FAIL", u.doResult,
                     error.c_str(), exception.c_str(), flash.c_str(), u.ignoredFailures,
                     JsonNumber(u.stationMs).c_str(), JsonNumber(u.pausesMs).c_str(),
                     JsonNumber(u.instrumentMs).c_str(),
                     static_cast<unsigned long long>(u.run.seed));
    }

    void WritePopulationUnit(const UnitSummary& u) override {
        std::fprintf(m_out,
                     "{\"type\":\"unit\",\"unit\":%ld,\"verdict\":\"%s\",\"cdac\":%s,\"cafc\":%s,"
                     "\"slope\":%s,\"attempts\":%d,\"ignored_failures\":%d,\"station_ms\":%s,"
                     "\"error\":%s,\"message\":%s}\n",
                     u.index, u.passed ? "PASS" : "FAIL", orNull(u.cdac).c_str(),
                     orNull(u.cafc).c_str(), orNull(u.slope).c_str(), u.attempts, u.ignoredFailures,
                     JsonNumber(u.stationMs).c_str(), tripleArray(u.error).c_str(),
                     u.passed ? "null" : JsonString(u.message).c_str());
    }

    void WritePopulation(const PopulationReport& p) override {
        std::string reasons;
        for (const Reason& r : p.reasons)
            reasons +=
                std::string(reasons.empty() ? "" : ",") + "{\"count\":" + std::to_string(r.count) +
                ",\"error\":" +
                tripleArray(r.hasTriple ? std::optional<ERROR_TRIPLE>(r.triple) : std::nullopt) +
                ",\"pattern\":" + JsonString(r.pattern) + ",\"example\":" + JsonString(r.example) +
                "}";
        std::string attempts;
        for (const auto& a : p.attempts)
            attempts += std::string(attempts.empty() ? "" : ",") + "\"" + std::to_string(a.first) +
                        "\":" + std::to_string(a.second);
        std::string values;
        for (const ValueStats& v : p.values)
            values += "\"" + v.key + "\":" + valuesObject(v) + ",";
        std::fprintf(m_out,
                     "{\"type\":\"summary\",\"chip\":%s,\"units\":%ld,\"passed\":%ld,"
                     "\"passed_with_ignored_failures\":%ld,\"failures\":[%s],"
                     "\"attempts\":{%s},%s\"station_ms\":{\"mean\":%s,"
                     "\"min\":%s,\"max\":%s},\"seed\":%llu}\n",
                     JsonString(p.run.chip).c_str(), p.units, p.passed, p.passedIgnoring,
                     reasons.c_str(), attempts.c_str(), values.c_str(),
                     JsonNumber(p.timeMeanMs).c_str(), JsonNumber(p.timeMinMs).c_str(),
                     JsonNumber(p.timeMaxMs).c_str(), static_cast<unsigned long long>(p.run.seed));
    }

    // The file is named on the command line; the lines stay objects.
    void WriteSvgPath(const std::string&) override {}

    void WriteRetests(const Retests& t) override {
        std::fprintf(m_out,
                     "{\"type\":\"retests\",\"units\":%ld,\"first_pass\":%ld,\"passed\":%ld,"
                     "\"tests\":%ld,\"passed_on_retest\":%ld}\n",
                     t.units, t.firstPassed, t.passed, t.tests, t.passedOnRetest);
    }

private:
    void writeItem(const ItemRow& row) {
        const Item& it = row.item;
        const char* pass = row.judgement == Judgement::Info   ? "null"
                           : row.judgement == Judgement::Pass ? "true"
                                                              : "false";
        if (it.form == OMRA_FORM_TEXT)
            std::fprintf(m_out,
                         "{\"type\":\"item\",\"name\":%s,\"text\":%s,\"unit\":%s,\"kind\":%d,"
                         "\"level\":%d,\"pass\":%s}\n",
                         JsonString(it.name).c_str(), JsonString(it.text).c_str(),
                         JsonString(it.unit).c_str(), it.kind, it.level, pass);
        else
            std::fprintf(m_out,
                         "{\"type\":\"item\",\"name\":%s,\"low\":%s,\"value\":%s,\"high\":%s,"
                         "\"unit\":%s,\"kind\":%d,\"level\":%d,\"pass\":%s}\n",
                         JsonString(it.name).c_str(), JsonNumber(it.low).c_str(),
                         JsonNumber(it.value).c_str(), JsonNumber(it.high).c_str(),
                         JsonString(it.unit).c_str(), it.kind, it.level, pass);
    }

    FILE* m_out;
};

} // namespace

std::unique_ptr<ReportWriter> MakeJsonWriter(FILE* out) {
    return std::make_unique<JsonWriter>(out);
}

} // namespace station
