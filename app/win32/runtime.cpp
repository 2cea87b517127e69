// The hooks of the C++ runtime that the program's code calls, replacing the
// static runtime's own: those throw exceptions, and linking them brings in
// the unwinder, the terminate handler with its demangler, the printf family
// and the threads library (about 240 KB). The program throws nothing, so
// running out of memory or a library precondition failing ends it with
// abort(), as the runtime does when built without exceptions. A hook the code
// comes to call that is not here links the runtime's object that defines it
// beside these, and the link fails on the names defined twice.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) {
        std::abort();
    }
    return p;
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace std {
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
