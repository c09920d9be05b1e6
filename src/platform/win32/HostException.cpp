// A failed run's CCFTException* handed to the host: by default as the C++
// exception an MSVC-built host catches (the record its own `throw e` raises),
// as a g++ exception for a g++-built host that asks for it.
#include "platform/platform.h"

#include "omra/omra.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

// The image base of this module; x64 throw information is relative to it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {
namespace {

constexpr DWORD kMsvcExceptionCode = 0xE06D7363; // 0xE0000000 | "msc"
constexpr ULONG_PTR kMsvcMagic = 0x19930520;
// A catchable type copied bit for bit (a pointer).
constexpr uint32_t kSimpleType = 1;

#if defined(_WIN64)
constexpr DWORD kParameterCount = 4; // the 4th is the image base
constexpr char kExceptionPointerName[] = ".PEAVCCFTException@@";
constexpr char kVoidPointerName[] = ".PEAX";
#else
constexpr DWORD kParameterCount = 3;
constexpr char kExceptionPointerName[] = ".PAVCCFTException@@";
constexpr char kVoidPointerName[] = ".PAX";
#endif

// References between the tables: image-relative on x64, addresses on x86.
using Ref = uint32_t;

Ref ref(const void* p) {
#if defined(_WIN64)
    return static_cast<Ref>(reinterpret_cast<const char*>(p) -
                            reinterpret_cast<const char*>(&__ImageBase));
#else
    return static_cast<Ref>(reinterpret_cast<uintptr_t>(p));
#endif
}

struct TypeDescriptor {
    const void* typeInfoVftable; // unused by the matching, which compares names
    void* spare;
    char name[24];
};

struct MemberDisplacement {
    int32_t member;
    int32_t vbtable; // -1: no virtual base
    int32_t vbase;
};

struct CatchableType {
    uint32_t properties;
    Ref type;
    MemberDisplacement thisDisplacement;
    int32_t size;
    Ref copyFunction;
};

struct CatchableTypeArray {
    int32_t count;
    Ref types[2];
};

struct ThrowInfo {
    uint32_t attributes;
    Ref unwind; // destructor of the thrown object: none for a pointer
    Ref forwardCompat;
    Ref catchableTypes;
};

// Everything lives in this module's image, as x64's references require.
struct ThrowTables {
    TypeDescriptor exceptionPointer;
    TypeDescriptor voidPointer;
    CatchableType catchable[2];
    CatchableTypeArray array;
    ThrowInfo info;
};

static_assert(sizeof(CatchableType) == 28, "CatchableType is seven words");
static_assert(sizeof(ThrowInfo) == 16, "ThrowInfo is four words");

void fill(ThrowTables& t) {
    std::memset(&t, 0, sizeof t);
    std::memcpy(t.exceptionPointer.name, kExceptionPointerName, sizeof kExceptionPointerName);
    std::memcpy(t.voidPointer.name, kVoidPointerName, sizeof kVoidPointerName);
    const TypeDescriptor* types[2] = {&t.exceptionPointer, &t.voidPointer};
    for (int i = 0; i < 2; ++i) {
        CatchableType& c = t.catchable[i];
        c.properties = kSimpleType;
        c.type = ref(types[i]);
        c.thisDisplacement = MemberDisplacement{0, -1, 0};
        c.size = static_cast<int32_t>(sizeof(void*));
        t.array.types[i] = ref(&c);
    }
    t.array.count = 2;
    t.info.catchableTypes = ref(&t.array);
}

// Out of line, as is the look-up below: their once-only guards must not put
// a handler into the frames the host's exception passes.
__attribute__((noinline)) const ThrowTables& tables() {
    // Filled once and never changed after: what MSVC keeps in read-only data.
    static ThrowTables t;
    static const bool filled = (fill(t), true);
    (void)filled;
    return t;
}

__attribute__((noinline)) bool hostCatchesGxx() {
    static const bool gxx =
        GetProcAddress(GetModuleHandleA(nullptr), OMRA_HOST_GXX_EXCEPTIONS_NAME) != nullptr;
    return gxx;
}

// Nothing with a destructor lives in this frame: the host's unwinding passes
// it without running anything of the library.
[[noreturn]] __attribute__((noinline)) void raiseMsvc(CCFTException* exception,
                                                      const ThrowTables& t) {
    // The thrown object is the pointer; it stays in this frame while the
    // host's catch block runs, as MSVC keeps a thrown object in its thrower's
    // frame.
    CCFTException* volatile thrown = exception;
    ULONG_PTR args[4] = {kMsvcMagic, reinterpret_cast<ULONG_PTR>(&thrown),
                         reinterpret_cast<ULONG_PTR>(&t.info),
                         reinterpret_cast<ULONG_PTR>(&__ImageBase)};
    RaiseException(kMsvcExceptionCode, EXCEPTION_NONCONTINUABLE, kParameterCount, args);
    // A non-continuable exception does not come back.
    __builtin_unreachable();
}

} // namespace

void ThrowToHost(CCFTException* exception) {
    if (hostCatchesGxx())
        throw exception;
    raiseMsvc(exception, tables());
}

} // namespace platform
