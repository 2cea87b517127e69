#include <cctype>

#include "config/file_io.h"

namespace ini {

std::string TempName(const std::string& base, unsigned long pid) {
    return base + "." + std::to_string(pid) + ".tmp";
}

unsigned long TempOwner(const std::string& base, const std::string& name) {
    static constexpr std::size_t kSuffix = 4;  // ".tmp"
    static constexpr unsigned long kMaxPid = 0xFFFFFFFFUL;
    if (name.size() <= base.size() + 1 + kSuffix || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.' || name.compare(name.size() - kSuffix, kSuffix, ".tmp") != 0) {
        return 0;
    }
    unsigned long pid = 0;
    for (std::size_t i = base.size() + 1; i < name.size() - kSuffix; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (std::isdigit(c) == 0) {
            return 0;
        }
        const unsigned long digit = c - '0';
        if (pid > (kMaxPid - digit) / 10) {
            return 0;
        }
        pid = pid * 10 + digit;
    }
    return pid;
}

}  // namespace ini
