// Objects that stand for drivers the host gives as tables of plain functions.
#pragma once

#include "omra/omra.h"

namespace vantor {

// A table entry the host left empty answers 0 instead of being called.
template <class Fn, class... Args> int Call(Fn fn, Args... args) {
    return fn != nullptr ? fn(args...) : 0;
}

} // namespace vantor

class CRfTesterTableAdapter : public IRfTester {
public:
    explicit CRfTesterTableAdapter(const RFTESTER_TABLE* table) : m_table(table) {}
    void SetTable(const RFTESTER_TABLE* table) { m_table = table; }
    const RFTESTER_TABLE* Table() const { return m_table; }

    int Op1(intptr_t, intptr_t) override { return 0; }
    int Op2(intptr_t, intptr_t) override { return 0; }
    void Op3() override {}
    void Op4() override {}
    int Op5() override { return vantor::Call(m_table->op5); }
    int BeginAction(intptr_t a) override { return vantor::Call(m_table->BeginAction, a); }
    int Op7(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op8(intptr_t, intptr_t) override { return 0; }
    int Op9(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op10(intptr_t) override { return 0; }
    int SetBand(intptr_t a, intptr_t b) override { return vantor::Call(m_table->SetBand, a, b); }
    int Op12(intptr_t, intptr_t) override { return 0; }
    int SetupMeasurement(intptr_t a, intptr_t b, intptr_t c) override {
        return vantor::Call(m_table->SetupMeasurement, a, b, c);
    }
    int Op14(intptr_t a) override { return vantor::Call(m_table->op14, a); }
    int TriggerMeasurement(intptr_t a) override {
        return vantor::Call(m_table->TriggerMeasurement, a);
    }
    int ReadMeasurement(intptr_t a, intptr_t b) override {
        return vantor::Call(m_table->ReadMeasurement, a, b);
    }
    int Op17(intptr_t a) override { return vantor::Call(m_table->op17, a); }
    int SetPowerLevel(intptr_t a, intptr_t b) override {
        return vantor::Call(m_table->SetPowerLevel, a, b);
    }
    int SetTrafficChannel(intptr_t a, intptr_t b) override {
        return vantor::Call(m_table->SetTrafficChannel, a, b);
    }
    int Op20(intptr_t a, intptr_t b) override { return vantor::Call(m_table->op20, a, b); }
    int Op21(intptr_t a, intptr_t b, intptr_t c) override {
        return vantor::Call(m_table->op21, a, b, c);
    }
    int Op22(intptr_t a) override { return vantor::Call(m_table->op22, a); }
    int SetChannel(intptr_t a) override { return vantor::Call(m_table->SetChannel, a); }
    int Op24(intptr_t a, intptr_t b) override { return vantor::Call(m_table->op24, a, b); }
    int Op25(intptr_t a, intptr_t b, intptr_t c) override {
        return vantor::Call(m_table->op25, a, b, c);
    }
    int Op26(intptr_t) override { return 0; }
    int Op27(intptr_t, intptr_t) override { return 0; }
    int Op28(intptr_t, intptr_t) override { return 0; }
    int Op29(intptr_t a, intptr_t b, intptr_t c) override {
        return vantor::Call(m_table->op29, a, b, c);
    }
    int Op30(intptr_t a, intptr_t b, intptr_t c) override {
        return vantor::Call(m_table->op30, a, b, c);
    }
    int Op31() override { return 0; }
    int Op32(intptr_t, intptr_t, intptr_t, intptr_t) override { return 0; }

private:
    const RFTESTER_TABLE* m_table;
};

class CDriver1TableAdapter : public IDriver1 {
public:
    explicit CDriver1TableAdapter(const DRIVER1_TABLE* table) : m_table(table) {}
    void SetTable(const DRIVER1_TABLE* table) { m_table = table; }
    const DRIVER1_TABLE* Table() const { return m_table; }

    int Op1(intptr_t, intptr_t) override { return 0; }
    int Op2(intptr_t) override { return 0; }
    int Op3() override { return 0; }
    int Op4(intptr_t a, intptr_t b) override { return vantor::Call(m_table->op4, a, b); }
    int Op5(intptr_t a, intptr_t b) override { return vantor::Call(m_table->op5, a, b); }
    int Op6(intptr_t a, intptr_t b) override { return vantor::Call(m_table->op6, a, b); }
    int Op7(intptr_t a, intptr_t b, intptr_t c) override {
        return vantor::Call(m_table->op7, a, b, c);
    }
    int Op8(intptr_t a, intptr_t b) override { return vantor::Call(m_table->op8, a, b); }
    int Op9(intptr_t, intptr_t, intptr_t) override { return 0; }
    int Op10(intptr_t, intptr_t, intptr_t) override { return 0; }

private:
    const DRIVER1_TABLE* m_table;
};
