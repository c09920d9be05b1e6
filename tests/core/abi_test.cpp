// The interfaces as an MSVC-built host sees them, checked from the g++ side:
// one destructor slot first, then every operation at its own number, and
// an exception object that reads the same under both compilers.
#include "omra/omra.h"

#include "Simulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

namespace {

// The vtable slot a pointer to a virtual member function names. In the
// Itanium C++ ABI (g++, clang, on x86 and x86-64) such a pointer holds one
// plus the slot's byte offset; -1 for a member that is not virtual.
template <class C, class F> long SlotOf(F C::*member) {
    struct {
        uintptr_t ptr;
        ptrdiff_t adjust;
    } rep;
    static_assert(sizeof member == sizeof rep, "an Itanium member function pointer");
    std::memcpy(&rep, &member, sizeof rep);
    return (rep.ptr & 1u) != 0 ? static_cast<long>((rep.ptr - 1) / sizeof(void*)) : -1;
}

TEST(VtableSlots, ActionDriversAndException) {
    // Slot 0 is the deleting destructor; the real one follows the operations.
    EXPECT_EQ(0, SlotOf(&IAction::ScalarDeletingDestructor));
    EXPECT_EQ(1, SlotOf(&IAction::SetCallBack));
    EXPECT_EQ(2, SlotOf(&IAction::SetDriver));
    EXPECT_EQ(3, SlotOf(&IAction::InitAction));
    EXPECT_EQ(4, SlotOf(&IAction::DoAction));
    EXPECT_EQ(5, SlotOf(&IAction::SetProperty));
    EXPECT_EQ(6, SlotOf(&IAction::GetProperty));
    EXPECT_EQ(0, SlotOf(&IDriver1::ScalarDeletingDestructor));
    EXPECT_EQ(1, SlotOf(&IDriver1::Op1));
    EXPECT_EQ(4, SlotOf(&IDriver1::Op4));
    EXPECT_EQ(10, SlotOf(&IDriver1::Op10));
    EXPECT_EQ(0, SlotOf(&CCFTException::ScalarDeletingDestructor));
}

// Every operation of the RF tester is its own slot number.
TEST(VtableSlots, RfTesterOperationsAtTheirNumbers) {
    EXPECT_EQ(0, SlotOf(&IRfTester::ScalarDeletingDestructor));
    EXPECT_EQ(1, SlotOf(&IRfTester::Op1));
    EXPECT_EQ(3, SlotOf(&IRfTester::Op3));
    EXPECT_EQ(5, SlotOf(&IRfTester::Op5));
    EXPECT_EQ(6, SlotOf(&IRfTester::BeginAction));
    EXPECT_EQ(11, SlotOf(&IRfTester::SetBand));
    EXPECT_EQ(13, SlotOf(&IRfTester::SetupMeasurement));
    EXPECT_EQ(15, SlotOf(&IRfTester::TriggerMeasurement));
    EXPECT_EQ(16, SlotOf(&IRfTester::ReadMeasurement));
    EXPECT_EQ(18, SlotOf(&IRfTester::SetPowerLevel));
    EXPECT_EQ(19, SlotOf(&IRfTester::SetTrafficChannel));
    EXPECT_EQ(23, SlotOf(&IRfTester::SetChannel));
    EXPECT_EQ(32, SlotOf(&IRfTester::Op32));
}

TEST(ExceptionObject, VtableThenTheTwoTexts) {
    CCFTException e("a/b.cpp", 1, "m");
    const char* base = reinterpret_cast<const char*>(&e);
    EXPECT_EQ(static_cast<ptrdiff_t>(sizeof(void*)), e.GetMessageText() - base);
    EXPECT_EQ(static_cast<ptrdiff_t>(sizeof(void*) + 1024), e.GetFullText() - base);
    EXPECT_EQ(sizeof(void*) + 1024 + 1400, sizeof e);
}

// Slot 0 as a host's delete (flags 1) and as an explicit destructor call
// (flags 0) use it: the most derived destructor runs, and only flags 1 frees.
class Counted : public sim::QuietRfTester {
public:
    explicit Counted(int* destroyed) : m_destroyed(destroyed) {}
    ~Counted() override { ++*m_destroyed; }

private:
    int* m_destroyed;
};

TEST(DeletingDestructor, FlagsOneDestroysAndFreesFlagsZeroOnlyDestroys) {
    int destroyed = 0;
    // The pointer slot 0 returns after freeing is not compared: it is dangling
    // (and g++ rejects any use of it); LeakSanitizer reports a missing free.
    IRfTester* freed = new Counted(&destroyed);
    freed->ScalarDeletingDestructor(1);
    EXPECT_EQ(1, destroyed);

    void* raw = ::operator new(sizeof(Counted));
    IRfTester* kept = new (raw) Counted(&destroyed);
    EXPECT_EQ(raw, kept->ScalarDeletingDestructor(0));
    EXPECT_EQ(2, destroyed);
    // Not freed by slot 0: the storage is still the caller's to release
    // (AddressSanitizer reports a double free otherwise).
    ::operator delete(raw);

    // The exception object as an MSVC host deletes it.
    CCFTException* e = new CCFTException("x.cpp", 2, "%s", "gone");
    e->ScalarDeletingDestructor(1);
}

} // namespace
