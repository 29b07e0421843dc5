// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace dravenlok::testing {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "dravenlok-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] std::string Path(const std::string& name) const { return (m_path / name).string(); }

    std::string Write(const std::string& name, const std::string& contents) const
    {
        const auto path = Path(name);
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

private:
    std::filesystem::path m_path;
};

}  // namespace dravenlok::testing
