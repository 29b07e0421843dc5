#include "platform/win32/registry.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>

namespace dravenlok::win32 {

namespace {

constexpr const char* kSystemMimeTypes = "/etc/mime.types";
constexpr const char* kContentTypeValue = "Content Type";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EqualsIgnoringCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

// Extension (lower case, without its dot) to media type, from a mime.types
// file: lines of "type ext1 ext2 ...", '#' starting a comment. When several
// lines claim one extension, the first one keeps it.
using ExtensionTable = std::unordered_map<std::string, std::string>;

ExtensionTable ReadMimeTypes(const std::string& path)
{
    ExtensionTable table;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (const auto hash = line.find('#'); hash != std::string::npos) {
            line.erase(hash);
        }
        std::istringstream words(line);
        std::string type;
        if (!(words >> type)) {
            continue;
        }
        std::string extension;
        while (words >> extension) {
            table.emplace(Lower(extension), type);
        }
    }
    return table;
}

// The open keys, by handle value, and the extension table behind them. The
// table is read on first use and again after the test path changes. Handle
// values count up and are never reused, so a closed key stays invalid.
class Registry {
public:
    void SetPath(const char* path)
    {
        std::lock_guard lock(m_mutex);
        m_path = (path == nullptr || *path == '\0') ? kSystemMimeTypes : path;
        m_table.reset();
    }

    std::optional<std::string> ContentTypeOf(const std::string& extension)
    {
        std::lock_guard lock(m_mutex);
        if (!m_table) {
            m_table = ReadMimeTypes(m_path);
        }
        const auto found = m_table->find(Lower(extension));
        if (found == m_table->end()) {
            return std::nullopt;
        }
        return found->second;
    }

    HKEY Open(std::string contentType)
    {
        std::lock_guard lock(m_mutex);
        m_next += kStep;
        auto* const key = reinterpret_cast<HKEY>(m_next);  // NOLINT(performance-no-int-to-ptr)
        m_keys.emplace(key, std::move(contentType));
        return key;
    }

    [[nodiscard]] std::optional<std::string> ValueOf(HKEY key) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_keys.find(key);
        if (found == m_keys.end()) {
            return std::nullopt;
        }
        return found->second;
    }

    [[nodiscard]] bool IsOpen(HKEY key) const
    {
        std::lock_guard lock(m_mutex);
        return m_keys.count(key) != 0;
    }

    bool Close(HKEY key)
    {
        std::lock_guard lock(m_mutex);
        return m_keys.erase(key) != 0;
    }

private:
    static constexpr std::uintptr_t kStep = 4;
    mutable std::mutex m_mutex;
    std::string m_path = kSystemMimeTypes;
    std::optional<ExtensionTable> m_table;
    std::uintptr_t m_next = 0x2000;
    std::unordered_map<HKEY, std::string> m_keys;  // key -> its "Content Type"
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

// A key name of the form ".ext": one dot, then a name with no path separator.
bool IsExtensionKey(const char* name)
{
    return name[0] == '.' && name[1] != '\0' && std::strpbrk(name + 1, "\\/") == nullptr;
}

}  // namespace

void SetMimeTypesPathForTesting(const char* path)
{
    TheRegistry().SetPath(path);
}

}  // namespace dravenlok::win32

using dravenlok::win32::TheRegistry;

LSTATUS RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD /*options*/, REGSAM /*access*/, PHKEY result)
{
    if (result == nullptr) {
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    }
    *result = nullptr;
    if (parent != HKEY_CLASSES_ROOT) {
        // The extension keys have no subkeys; anything else is no key at all.
        return static_cast<LSTATUS>(TheRegistry().IsOpen(parent) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE);
    }
    if (subKey == nullptr || !dravenlok::win32::IsExtensionKey(subKey)) {
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    }
    auto contentType = TheRegistry().ContentTypeOf(subKey + 1);
    if (!contentType) {
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    }
    *result = TheRegistry().Open(std::move(*contentType));
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    const auto value = TheRegistry().ValueOf(key);
    if (!value) {
        return static_cast<LSTATUS>(key == HKEY_CLASSES_ROOT ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE);
    }
    if (reserved != nullptr || (data != nullptr && size == nullptr)) {
        return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
    }
    // Value names match case-insensitively, as the registry's do.
    if (valueName == nullptr || !dravenlok::win32::EqualsIgnoringCase(valueName, dravenlok::win32::kContentTypeValue)) {
        return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    }
    if (type != nullptr) {
        *type = REG_SZ;
    }
    const auto needed = static_cast<DWORD>(value->size() + 1);
    if (data == nullptr) {
        // Asking for the size only.
        if (size != nullptr) {
            *size = needed;
        }
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    if (*size < needed) {
        *size = needed;
        return static_cast<LSTATUS>(ERROR_MORE_DATA);
    }
    std::memcpy(data, value->c_str(), needed);
    *size = needed;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT || TheRegistry().Close(key)) {
        return static_cast<LSTATUS>(ERROR_SUCCESS);
    }
    return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
}
