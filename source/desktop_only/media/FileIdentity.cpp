#include "FileIdentity.h"

#include <filesystem>
#include <system_error>

#include "foundation/GrowString.h"

bool sameFile(const GrowString& a, const GrowString& b) {
    const std::filesystem::path first(a.c_str());
    const std::filesystem::path second(b.c_str());
    std::error_code error;
    if (std::filesystem::equivalent(first, second, error)) return true;
    const std::filesystem::path absoluteFirst = std::filesystem::absolute(first, error);
    if (error) return false;
    const std::filesystem::path absoluteSecond = std::filesystem::absolute(second, error);
    if (error) return false;
    return absoluteFirst.lexically_normal() == absoluteSecond.lexically_normal();
}
