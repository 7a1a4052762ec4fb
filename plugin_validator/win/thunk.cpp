#include "thunk.h"

// The thunk keeps its own stack pointer in a slot of its own before the call, so that a callee that
// leaves the stack or EBP wrong cannot break the caller's frame: after the call it reads the slot back
// and records ESP, EBX, ESI, EDI and EBP as the callee left them.
extern "C" {
std::uint32_t qv_thunk_frame[2];
struct RawOutcome {
    std::uint32_t espAfter, ebx, esi, edi, ebp, espBefore;
};
std::uint32_t qv_thunk_call0(const void* function, const std::uint32_t* arguments, std::uint32_t count,
                             RawOutcome* outcome);
std::uint32_t qv_thunk_call1(const void* function, const std::uint32_t* arguments, std::uint32_t count,
                             RawOutcome* outcome);
}

#define QV_THUNK(n)                          \
    asm(".text\n"                            \
        ".globl _qv_thunk_call" #n           \
        "\n"                                 \
        "_qv_thunk_call" #n                  \
        ":\n"                                \
        "  pushl %ebp\n"                     \
        "  movl %esp, %ebp\n"                \
        "  pushl %ebx\n"                     \
        "  pushl %esi\n"                     \
        "  pushl %edi\n"                     \
        "  movl %esp, _qv_thunk_frame+4*" #n \
        "\n"                                 \
        "  movl 12(%ebp), %esi\n"            \
        "  movl 16(%ebp), %ecx\n"            \
        "1:\n"                               \
        "  testl %ecx, %ecx\n"               \
        "  jz 2f\n"                          \
        "  pushl -4(%esi,%ecx,4)\n"          \
        "  decl %ecx\n"                      \
        "  jmp 1b\n"                         \
        "2:\n"                               \
        "  movl 8(%ebp), %eax\n"             \
        "  movl $0xB0B0B0B0, %ebx\n"         \
        "  movl $0x51515151, %esi\n"         \
        "  movl $0xD1D1D1D1, %edi\n"         \
        "  movl $0xBEBEBEBE, %ebp\n"         \
        "  call *%eax\n"                     \
        "  movl %esp, %ecx\n"                \
        "  movl _qv_thunk_frame+4*" #n       \
        ", %esp\n"                           \
        "  movl 32(%esp), %edx\n"            \
        "  movl %ecx, 0(%edx)\n"             \
        "  movl %ebx, 4(%edx)\n"             \
        "  movl %esi, 8(%edx)\n"             \
        "  movl %edi, 12(%edx)\n"            \
        "  movl %ebp, 16(%edx)\n"            \
        "  movl %esp, 20(%edx)\n"            \
        "  popl %edi\n"                      \
        "  popl %esi\n"                      \
        "  popl %ebx\n"                      \
        "  popl %ebp\n"                      \
        "  ret\n")

QV_THUNK(0);
QV_THUNK(1);

namespace qvcheck {

ThunkOutcome CallThroughThunk(int slot, const void* function, const std::uint32_t* arguments, std::uint32_t count) {
    RawOutcome raw{};
    const std::uint32_t result = slot == 0 ? qv_thunk_call0(function, arguments, count, &raw)
                                           : qv_thunk_call1(function, arguments, count, &raw);
    // Before the call the arguments lay below espBefore; a callee that removes them all leaves ESP there.
    const std::int64_t removed = static_cast<std::int64_t>(count) * 4 -
                                 (static_cast<std::int64_t>(raw.espBefore) - raw.espAfter);
    return {result, removed, raw.ebx, raw.esi, raw.edi, raw.ebp};
}

}  // namespace qvcheck
