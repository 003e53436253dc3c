// An export found by GetProcAddress, as the function type the caller knows it to have. The detour
// through void (*)() is the conversion compilers accept between unrelated function types.
#pragma once

template <typename Function, typename Proc>
Function ProcAs(Proc proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}
