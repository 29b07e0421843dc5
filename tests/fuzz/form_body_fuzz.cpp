// The form body builders over fuzzed field lists. The input is a list of
// records (kind byte, name, zero, value, zero); a file field's value is the
// contents of a temporary file that the field then names, so the multipart
// builder reads real files. Its first bytes pick the size of the urlencoded
// buffer, the boundary's length and the files' extensions.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "http_client/http_client.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using dravenlok::fuzz::Require;
using dravenlok::win32::LocalBlock;

constexpr const char* kExtensions[] = {".txt", ".html", ".png", "", ".tar.gz", ".", ".JPG", ".x y"};
constexpr std::size_t kMaxFields = 64;

// A private directory for the files of the file fields, removed at exit.
class FileDirectory {
public:
    FileDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "dravenlok-fuzz-XXXXXX").string();
        Require(::mkdtemp(pattern.data()) != nullptr, "no temporary directory");
        m_path = pattern;
    }
    ~FileDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    FileDirectory(const FileDirectory&) = delete;
    FileDirectory& operator=(const FileDirectory&) = delete;

    [[nodiscard]] std::string Write(std::size_t index, const char* extension,
                                    std::string_view contents) const
    {
        const std::string path = (m_path / ("f" + std::to_string(index) + extension)).string();
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return path;
    }

private:
    std::filesystem::path m_path;
};

const FileDirectory& Files()
{
    static const FileDirectory files;
    return files;
}

// The next zero-terminated piece of the input (or the rest of it).
std::string_view Take(std::string_view& input)
{
    const auto zero = input.find('\0');
    const std::string_view piece = input.substr(0, zero);
    input.remove_prefix(zero == std::string_view::npos ? input.size() : zero + 1);
    return piece;
}

int FuzzFormBody(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) {
        return 0;
    }
    const DWORD formSize = static_cast<DWORD>(data[0]) * 5 + 1;  // 1 to 1276 bytes
    const std::size_t boundaryLength = data[1] % 80;
    const std::uint8_t extensions = data[2];
    std::string_view input(reinterpret_cast<const char*>(data + 3), size - 3);

    const std::string boundary = "--" + std::string(boundaryLength, 'B');
    CHttpClient client;
    std::size_t index = 0;
    while (!input.empty() && client.Fields().size() < kMaxFields) {
        const auto kind = static_cast<unsigned char>(input.front()) % 4;  // 0 and 3: no part
        input.remove_prefix(1);
        const std::string name(Take(input));
        std::string value(Take(input));
        if (kind == FIELD_FILE && (index & 1) == 0) {
            // Every other file field names a file that exists.
            value = Files().Write(index, kExtensions[(extensions >> (index % 6)) % 8], value);
        }
        static_cast<void>(client.AddField(name.c_str(), value.c_str(), static_cast<int>(kind)));
        ++index;
    }

    std::vector<char> form(formSize);
    const int formLength = client.BuildFormBody(form.data(), formSize);
    Require(formLength >= 0 && static_cast<DWORD>(formLength) < formSize, "form body length");
    Require(std::strlen(form.data()) == static_cast<std::size_t>(formLength),
            "form body not terminated at its length");

    static_cast<void>(client.EstimateMultipartSize());
    LocalBlock body;
    const int length = client.BuildMultipartBody(body, boundary.c_str());
    if (length >= 0) {
        Require(body != nullptr, "a body length without a body");
        const std::string closing = "--" + boundary + "--\r\n";
        Require(static_cast<std::size_t>(length) >= closing.size() &&
                    std::memcmp(body.get() + length - closing.size(), closing.data(),
                                closing.size()) == 0,
                "the body does not end with its closing delimiter");
    } else {
        Require(body == nullptr, "a failed body left a block");
    }
    client.FreeMultipartBody(body);

    for (const FormField& field : client.Fields()) {
        const char* type = client.ContentTypeFor(field.value);
        Require(std::memchr(type, '\0', 1024) != nullptr, "content type not terminated");
    }
    return 0;
}

}  // namespace

DRAVENLOK_FUZZ_TARGET("form_body", FuzzFormBody)
