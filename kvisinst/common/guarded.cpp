// The structured-exception frame of CallGuarded for each build.
#include "kvisinst/common/guarded.h"

#if !defined(_WIN32)

// The host build: a simulated module faults by throwing an object of winsim's own, which the library
// does not know; catching everything here stands for the handler that a Windows frame would run.
bool CallGuarded(void (*function)(void*), void* context) {
    try {
        function(context);
        return true;
    } catch (...) {
        return false;
    }
}

#else

#include "kvisinst/common/win32.h"

// GCC has no __try, and mingw-w64's __try1/__except1 (excpt.h) only link a handler in and out: on
// 32-bit they give no point to resume at, on 64-bit they place fixed labels inside a C++ function
// whose register use the compiler does not expect to be cut short. So the frame is a small assembly
// function of our own, GuardedCallFrame(function, context), which returns 1 when `function` returns
// and 0 when its handler ended it.
//
// Both handlers resume by rewriting the exception's CONTEXT and answering ExceptionContinueExecution:
// the system then continues the thread, at our resume point, as it would continue a fixed-up fault.
// Nothing between the fault and our frame is unwound (no foreign __finally, no destructor runs):
// code that has just faulted is in no state to clean up after itself, and a second fault while
// unwinding would be a worse failure than the leak. A stack overflow is ended the same way; its
// guard page is not given back, so a second overflow on the thread ends the process.
//
// The dispatcher refuses to continue an exception raised as non-continuable (what C++ throws of other
// compilers are): it raises STATUS_NONCONTINUABLE_EXCEPTION instead. That rule protects code that
// cannot go on past the raise; we do not go on there but at our own resume point, so the handler
// clears the flag first.
extern "C" int GuardedCallFrame(void (*function)(void*), void* context);

#if defined(__i386__)

// The 32-bit frame: an exception registration record on the thread's chain (FS:[0]), extended with
// where to resume. It lies on GuardedCallFrame's stack and is on the chain exactly while `function`
// runs. The product DLL has no SafeSEH table, so the system accepts any handler on the chain.
struct GuardRecord {
    GuardRecord* next;  // the chain as it was when the frame was entered
    void* handler;      // GuardHandler
    DWORD esp;          // the stack with this record on top, as after the call returns
    DWORD ebp;          // GuardedCallFrame's frame pointer
    DWORD resume;       // where the frame goes on when `function` was ended
};

// Called by the system's dispatcher (cdecl) for an exception raised below our record. Records that
// `function` linked above ours and left on the chain are dropped by the resume code, not here: the
// dispatcher puts back the chain it saw once a handler returns (and NT's takes its own stack
// pointer from it), so a handler must not change FS:[0].
extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* exception, void* frame, CONTEXT* context,
                                                      void*) {
    // The unwind of some other frame's handler passes through ours: nothing of ours to undo.
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    const GuardRecord* record = static_cast<const GuardRecord*>(frame);
    context->Eip = record->resume;
    context->Esp = record->esp;
    context->Ebp = record->ebp;
    // Code is called with the direction flag clear; faulted code may have set it (a backward copy).
    context->EFlags &= ~0x400u;
    exception->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
    return ExceptionContinueExecution;
}

// int GuardedCallFrame(function, context), cdecl. The registers that C code keeps across calls (EBX,
// ESI, EDI, EBP) are saved here: the resumed CONTEXT carries whatever the faulted code left in them.
asm(R"(
    .text
    .globl _GuardedCallFrame
    .def _GuardedCallFrame; .scl 2; .type 32; .endef
_GuardedCallFrame:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    # The record, built downwards: resume, ebp, esp (filled in below), handler, next.
    pushl $1f
    pushl %ebp
    pushl $0
    pushl $_GuardHandler
    pushl %fs:0
    movl %esp, 8(%esp)
    movl %esp, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    movl $1, %eax
    jmp 2f
1:  # Resumed by GuardHandler: ESP is the record, EBP ours again.
    xorl %eax, %eax
2:  leal -32(%ebp), %esp
    # Unlink: the chain is again what it was on entry, without any record a faulted callee left.
    popl %fs:0
    addl $16, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

#elif defined(__x86_64__)

// The 64-bit frame is table-based: GuardedCallFrame's unwind data names GuardHandler as its
// exception handler (.seh_handler ... @except: called while the dispatcher searches, not while it
// unwinds). By the time the dispatcher calls it, it has unwound its own copy of the context through
// every frame up to and including ours (dispatch->ContextRecord): that copy is exactly the state of
// GuardedCallFrame's caller just after the call returns, nonvolatile registers included. Continuing
// with that state and RAX = 0 is GuardedCallFrame returning 0.
extern "C" EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* exception, void*, CONTEXT* context,
                                              DISPATCHER_CONTEXT* dispatch) {
    if (exception->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
    *context = *dispatch->ContextRecord;
    context->Rax = 0;
    exception->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
    return ExceptionContinueExecution;
}

// int GuardedCallFrame(function, context): RCX, RDX in. The 40 bytes are the callee's 32-byte home
// area and 8 that keep RSP 16-byte aligned at the call.
asm(R"(
    .text
    .globl GuardedCallFrame
    .def GuardedCallFrame; .scl 2; .type 32; .endef
    .seh_proc GuardedCallFrame
    .seh_handler GuardHandler, @except
GuardedCallFrame:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    movl $1, %eax
    addq $40, %rsp
    ret
    .seh_endproc
)");

#else
#error "CallGuarded has no frame for this processor"
#endif

bool CallGuarded(void (*function)(void*), void* context) { return GuardedCallFrame(function, context) != 0; }

#endif
