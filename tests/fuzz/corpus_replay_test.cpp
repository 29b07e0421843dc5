// Every fuzz target over every file of its corpus (tests/fuzz/corpus/<name>/),
// in the normal suite: the seeds, and each input that ever made a target
// fail, stay regression tests in the plain, sanitizer and valgrind runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_target.h"

namespace dravenlok::fuzz {

std::map<std::string, Entry>& Targets()
{
    static std::map<std::string, Entry> targets;
    return targets;
}

bool Register(const char* name, Entry entry)
{
    Targets()[name] = entry;
    return true;
}

namespace {

std::vector<std::filesystem::path> CorpusOf(const std::string& name)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(DRAVENLOK_FUZZ_CORPUS) / name)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void Replay(const std::string& name)
{
    const auto target = Targets().find(name);
    ASSERT_NE(target, Targets().end()) << name << " is not registered";
    const std::vector<std::filesystem::path> files = CorpusOf(name);
    EXPECT_FALSE(files.empty()) << "no corpus for " << name;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        EXPECT_EQ(target->second(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

TEST(FuzzCorpus, SplitUrl)
{
    Replay("split_url");
}

TEST(FuzzCorpus, ParseUrl)
{
    Replay("parse_url");
}

TEST(FuzzCorpus, Response)
{
    Replay("response");
}

TEST(FuzzCorpus, FormBody)
{
    Replay("form_body");
}

}  // namespace
}  // namespace dravenlok::fuzz
