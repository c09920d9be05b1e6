// Calls into the host's own code under a frame of the library's own that
// hears the host's runtime unwind past it. An MSVC-built host's exception
// passes the frames of g++ code without running anything of them, so the
// frame's handler ends, while the stack is still whole, what those frames
// would have ended.
#include "platform/platform.h"

#include <windows.h>

namespace platform {
namespace {

struct UnwindHook {
    void (*onUnwind)(void*);
    void* context;
};

// Any unwinding pass, a host's exception or a long jump alike.
constexpr DWORD kUnwinding = 0x2 | 0x4; // EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND

void heard(const EXCEPTION_RECORD* record, const UnwindHook* hook) {
    if ((record->ExceptionFlags & kUnwinding) != 0 && hook != nullptr && hook->onUnwind != nullptr)
        hook->onUnwind(hook->context);
}

} // namespace
} // namespace platform

#if defined(_WIN64)

// Table-based unwinding: the thunk's unwind information names the handler,
// called in the unwinding pass only; the hook sits at 48 bytes above the
// stack pointer the prologue leaves, which is the handler's frame address.
extern "C" EXCEPTION_DISPOSITION vantor_host_unwind(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                                    void*) {
    platform::heard(record, *reinterpret_cast<const platform::UnwindHook* const*>(
                                static_cast<const char*>(frame) + 48));
    return ExceptionContinueSearch;
}

extern "C" void vantor_call_host(void (*fn)(void*) noexcept, void* context,
                                 const platform::UnwindHook* hook);
__asm__(".text\n"
        ".p2align 4\n"
        ".globl vantor_call_host\n"
        ".def vantor_call_host; .scl 2; .type 32; .endef\n"
        ".seh_proc vantor_call_host\n"
        "vantor_call_host:\n"
        "  subq $56, %rsp\n"
        "  .seh_stackalloc 56\n"
        "  .seh_endprologue\n"
        "  movq %r8, 48(%rsp)\n"
        "  movq %rcx, %rax\n"
        "  movq %rdx, %rcx\n"
        "  callq *%rax\n"
        "  nop\n"
        "  addq $56, %rsp\n"
        "  ret\n"
        "  .seh_handler vantor_host_unwind, @unwind\n"
        ".seh_endproc\n");

namespace platform {
void CallHostCode(void (*fn)(void*) noexcept, void* context, void (*onUnwind)(void*),
                  void* unwindContext) {
    const UnwindHook hook{onUnwind, unwindContext};
    vantor_call_host(fn, context, &hook);
}
} // namespace platform

#else

// Frame-based unwinding: a registration on the thread's handler chain for
// the length of the call, which the unwinding pass calls and then unlinks.
namespace platform {
namespace {

struct Registration {
    Registration* next;
    EXCEPTION_DISPOSITION(__cdecl* handler)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
    const UnwindHook* hook;
};

EXCEPTION_DISPOSITION __cdecl unwindHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                            void*) {
    heard(record, static_cast<Registration*>(frame)->hook);
    return ExceptionContinueSearch;
}

} // namespace

__attribute__((noinline)) void CallHostCode(void (*fn)(void*) noexcept, void* context,
                                            void (*onUnwind)(void*), void* unwindContext) {
    const UnwindHook hook{onUnwind, unwindContext};
    Registration registration;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(registration.next));
    registration.handler = &unwindHandler;
    registration.hook = &hook;
    __asm__ volatile("movl %0, %%fs:0" : : "r"(&registration) : "memory");
    fn(context);
    __asm__ volatile("movl %0, %%fs:0" : : "r"(registration.next) : "memory");
}

} // namespace platform

#endif
