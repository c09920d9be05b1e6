#include "Simulator.h"

#include "omra/errorcode.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace sim {

const char* CommandName(Command c) {
    switch (c) {
    case Command::ClassMark:
        return "classmark";
    case Command::AfcOn:
        return "afc-on";
    case Command::AfcOff:
        return "afc-off";
    case Command::FlashCafc:
        return "flash-cafc";
    case Command::FlashCdac:
        return "flash-cdac";
    case Command::FlashSlopeLength:
        return "flash-slope";
    }
    return "?";
}

uint64_t Random::Next() {
    // splitmix64
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Random::Uniform() {
    return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
}

double Random::Gaussian() {
    if (m_hasSpare) {
        m_hasSpare = false;
        return m_spare;
    }
    double u = 0, v = 0, s = 0;
    do {
        u = Uniform() * 2.0 - 1.0;
        v = Uniform() * 2.0 - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    double m = std::sqrt(-2.0 * std::log(s) / s);
    m_spare = v * m;
    m_hasSpare = true;
    return u * m;
}

CrystalParams DrawCrystal(const CrystalParams& nominal, const CrystalSpread& spread, Random& r) {
    CrystalParams p = nominal;
    p.offsetHz += spread.offsetHz * r.Gaussian();
    p.cdacStepHz += spread.cdacStepHz * r.Gaussian();
    p.cafcSlopeHz += spread.cafcSlopeHz * r.Gaussian();
    return p;
}

Handset::Handset(CrystalParams params, uint64_t seed, CallLog* log, Clock* clock)
    : crystal(params), m_random(seed), m_log(log), m_clock(clock) {}

Handset::~Handset() {
    Detach();
}

void Handset::Attach() {
    PHONE_HANDSET h{};
    h.context = this;
    h.SetClassMark = &Handset::OnClassMark;
    h.AfcStart = &Handset::OnAfcStart;
    h.WriteFlash = &Handset::OnWriteFlash;
    PhoneCommand_Attach(&h);
    m_attached = true;
}

void Handset::Detach() {
    if (m_attached)
        PhoneCommand_Attach(nullptr);
    m_attached = false;
}

void Handset::FailCall(Command c, int n, int32_t result) {
    m_failures[c][n] = result;
}

void Handset::FailGroupCall(CommandGroup g, int n, int32_t result) {
    m_groupFailures[static_cast<int>(g)][n] = result;
}

int Handset::Calls(Command c) const {
    auto it = m_calls.find(c);
    return it == m_calls.end() ? 0 : it->second;
}

int32_t Handset::Answer(Command c) {
    int n = ++m_calls[c];
    if (m_clock != nullptr)
        m_clock->Advance(commandMs);
    if (c != Command::ClassMark) {
        int g = c == Command::AfcOn || c == Command::AfcOff ? 0 : 1;
        int k = ++m_groupCalls[g];
        auto r = m_groupFailures[g].find(k);
        if (r != m_groupFailures[g].end())
            return Settle(c, r->second);
    }
    auto f = m_failures.find(c);
    if (f != m_failures.end()) {
        auto r = f->second.find(n);
        if (r != f->second.end())
            return Settle(c, r->second);
    }
    return Settle(c, 0);
}

int32_t Handset::Settle(Command c, int32_t result) {
    // A failure is made good only by the same command succeeding right after it.
    if (m_lastFailed && result == 0 && c == *m_lastFailed)
        --m_failuresLeft;
    m_lastFailed.reset();
    if (result != 0) {
        ++m_failuresLeft;
        m_lastFailed = c;
    }
    return result;
}

double Handset::TrueFe(double cdac, double cafc) const {
    double dc = cafc - crystal.cafcRef;
    return crystal.offsetHz + crystal.cdacStepHz * (cdac - crystal.cdacRef) +
           crystal.cafcSlopeHz * dc + crystal.curvature * dc * dc;
}

double Handset::MeasureFe() {
    if (!afcOn)
        return 0.0;
    return TrueFe(block.cdac, block.cafc) + crystal.noiseHz * m_random.Gaussian();
}

int32_t Handset::OnClassMark(void* ctx, int32_t mark) {
    Handset* h = static_cast<Handset*>(ctx);
    if (h->m_log != nullptr)
        h->m_log->Add("HT_SetPhoneClassmark_MChip(" + std::to_string(mark) + ")");
    int32_t r = h->Answer(Command::ClassMark);
    if (r == 0)
        h->classMark = mark;
    return r;
}

int32_t Handset::OnAfcStart(void* ctx, int32_t on, const AFC_START_BLOCK* b) {
    Handset* h = static_cast<Handset*>(ctx);
    if (h->m_log != nullptr) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "HT_AfcStart_MChip(%d,{%u,%u,%u,%u})", on, b->pcl,
                      b->channel, b->cdac, b->cafc);
        h->m_log->Add(buf);
    }
    int32_t r = h->Answer(on != 0 ? Command::AfcOn : Command::AfcOff);
    if (r == 0) {
        h->afcOn = on != 0;
        h->block = *b;
    }
    return r;
}

int32_t Handset::OnWriteFlash(void* ctx, PHONE_FLASH_FIELD f, uint16_t v) {
    Handset* h = static_cast<Handset*>(ctx);
    static const char* const names[] = {"HT_WriteData_Flash_AFC_CAFC",
                                        "HT_WriteData_Flash_AFC_CDAC",
                                        "HT_WriteData_Flash_AFC_slope_length"};
    static const Command commands[] = {Command::FlashCafc, Command::FlashCdac,
                                       Command::FlashSlopeLength};
    int i = static_cast<int>(f);
    if (i < 0 || i > 2)
        return -1;
    if (h->m_log != nullptr)
        h->m_log->Add(std::string(names[i]) + "(" + std::to_string(v) + ")");
    int32_t r = h->Answer(commands[i]);
    if (r == 0) {
        h->flash[i] = v;
        h->flashed[i] = true;
    }
    return r;
}

namespace {
// The tester whose function table a host was given.
RfTester* g_tableTester = nullptr;

RfTester* current() {
    return g_tableTester;
}

RFTESTER_TABLE makeTable() {
    RFTESTER_TABLE t{};
    t.SetBand = [](intptr_t a, intptr_t b) { return current()->SetBand(a, b); };
    t.SetupMeasurement = [](intptr_t a, intptr_t b, intptr_t c) {
        return current()->SetupMeasurement(a, b, c);
    };
    t.op5 = []() { return 0; };
    t.op14 = [](intptr_t) { return 0; };
    t.TriggerMeasurement = [](intptr_t a) { return current()->TriggerMeasurement(a); };
    t.ReadMeasurement = [](intptr_t a, intptr_t b) { return current()->ReadMeasurement(a, b); };
    t.op17 = [](intptr_t) { return 0; };
    t.op24 = [](intptr_t, intptr_t) { return 0; };
    t.SetPowerLevel = [](intptr_t a, intptr_t b) { return current()->SetPowerLevel(a, b); };
    t.SetTrafficChannel = [](intptr_t a, intptr_t b) { return current()->SetTrafficChannel(a, b); };
    t.op20 = [](intptr_t, intptr_t) { return 0; };
    t.op21 = [](intptr_t, intptr_t, intptr_t) { return 0; };
    t.op22 = [](intptr_t) { return 0; };
    t.SetChannel = [](intptr_t a) { return current()->SetChannel(a); };
    t.op25 = [](intptr_t, intptr_t, intptr_t) { return 0; };
    t.op29 = [](intptr_t, intptr_t, intptr_t) { return 0; };
    t.op30 = [](intptr_t, intptr_t, intptr_t) { return 0; };
    t.BeginAction = [](intptr_t a) { return current()->BeginAction(a); };
    return t;
}

const RFTESTER_TABLE kTable = makeTable();
} // namespace

RfTester::RfTester(Handset* handset, CallLog* log, Clock* clock)
    : m_handset(handset), m_log(log), m_clock(clock) {}

RfTester::~RfTester() {
    if (g_tableTester == this)
        g_tableTester = nullptr;
}

const RFTESTER_TABLE* RfTester::Table() {
    g_tableTester = this;
    return &kTable;
}

// Callers test m_log first: a tester without a log formats no text.
void RfTester::Log(const std::string& s) {
    m_log->Add("RF." + s);
}

int RfTester::BeginAction(intptr_t a) {
    if (m_log != nullptr)
        Log("BeginAction(" + std::to_string(a) + ")");
    return 0;
}

int RfTester::SetBand(intptr_t system, intptr_t band) {
    if (m_log != nullptr)
        Log("SetBand(" + std::to_string(system) + "," + std::to_string(band) + ")");
    return 0;
}

int RfTester::SetupMeasurement(intptr_t type, intptr_t a, intptr_t b) {
    if (m_log != nullptr)
        Log("SetupMeasurement(" + std::to_string(type) + "," + std::to_string(a) + "," +
            std::to_string(b) + ")");
    return 0;
}

int RfTester::TriggerMeasurement(intptr_t type) {
    if (m_log != nullptr)
        Log("TriggerMeasurement(" + std::to_string(type) + ")");
    if (m_clock != nullptr)
        m_clock->Advance(measurementMs);
    return 0;
}

int RfTester::ReadMeasurement(intptr_t type, intptr_t buffer) {
    if (m_log != nullptr)
        Log("ReadMeasurement(" + std::to_string(type) + ")");
    ++m_reads;
    for (int n : m_failAt)
        if (n == m_reads)
            Spec_SetErrorCode(E_MODULE_RFTESTER, 1, 1, 0);
    if (buffer == 0)
        return -1;
    double fe = 0;
    if (m_next < m_script.size())
        fe = m_script[m_next++];
    else if (m_handset != nullptr)
        fe = m_handset->MeasureFe();
    float f = static_cast<float>(fe + biasHz);
    unsigned char* block = reinterpret_cast<unsigned char*>(buffer);
    std::memcpy(block + OMRA_PFER_FE_OFFSET, &f, sizeof f);
    return 0;
}

int RfTester::SetPowerLevel(intptr_t pcl, intptr_t a) {
    if (m_log != nullptr)
        Log("SetPowerLevel(" + std::to_string(pcl) + "," + std::to_string(a) + ")");
    return 0;
}

int RfTester::SetTrafficChannel(intptr_t channel, intptr_t a) {
    if (m_log != nullptr)
        Log("SetTrafficChannel(" + std::to_string(channel) + "," + std::to_string(a) + ")");
    return 0;
}

int RfTester::SetChannel(intptr_t channel) {
    if (m_log != nullptr)
        Log("SetChannel(" + std::to_string(channel) + ")");
    return 0;
}

} // namespace sim
