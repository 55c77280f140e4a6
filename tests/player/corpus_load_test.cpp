// Real XM files from Debian's game-data packages (scripts/fetch-corpus.sh):
// each loads and keeps the model's promises, and a dense set of its prefixes
// loads soundly or fails without touching memory outside its buffers. Skips
// when the corpus has not been fetched.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "player/module.h"
#include "tests/player/support/xm_load.h"

namespace {

namespace fs = std::filesystem;

// Every *.xm file (any case) under the corpus folder, sorted.
std::vector<std::string> corpus_files() {
    std::vector<std::string> files;
    std::error_code error;
    fs::recursive_directory_iterator it(TIRVALEX_CORPUS_DIR, error), end;
    for (; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file()) continue;
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (extension == ".xm") files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The test name of a corpus file: its package folder and file name, letters and
// digits only.
std::string test_name(const std::string& path) {
    fs::path file(path);
    std::string name = file.parent_path().filename().string() + "_" + file.stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

// Prefix lengths to try: every one within the first 2048 bytes, where the
// headers and the first patterns lie, then an odd stride chosen so that the
// bytes read by all the loads together stay near 64 MB whatever the file's
// size, and the whole file minus one byte.
std::vector<uint32_t> prefix_lengths(uint32_t size) {
    constexpr uint64_t dense_bytes = 2048;
    constexpr uint64_t read_budget = 64ull << 20;
    std::vector<uint32_t> lengths;
    for (uint64_t length = 0; length < std::min<uint64_t>(size, dense_bytes); ++length) {
        lengths.push_back(uint32_t(length));
    }
    uint64_t stride = std::max<uint64_t>(1, uint64_t(size) * size / (2 * read_budget)) | 1;
    for (uint64_t length = dense_bytes; length < size; length += stride) {
        lengths.push_back(uint32_t(length));
    }
    if (size > dense_bytes) lengths.push_back(size - 1);
    return lengths;
}

class CorpusLoad : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { reset_loader_state(); }
    void TearDown() override { reset_loader_state(); }
};

}  // namespace

TEST(CorpusPresence, CorpusHasBeenFetched) {
    if (corpus_files().empty()) GTEST_SKIP() << "no XM files in " << TIRVALEX_CORPUS_DIR;
    SUCCEED() << corpus_files().size() << " files";
}

TEST_P(CorpusLoad, FileLoadsSoundly) {
    std::vector<uint8_t> image = read_file(GetParam());
    ASSERT_FALSE(image.empty());
    XmModule* module = load_xm_image(image);
    ASSERT_NE(module, nullptr);
    expect_module_sound(module);
    module_free(module);
}

TEST_P(CorpusLoad, PrefixesLoadSoundlyOrFailCleanly) {
    std::vector<uint8_t> image = read_file(GetParam());
    for (uint32_t length : prefix_lengths(uint32_t(image.size()))) {
        XmModule* module = load_xm_bytes(image.data(), length);
        if (module != nullptr) {
            SCOPED_TRACE(::testing::Message() << "prefix of " << length << " bytes");
            expect_module_sound(module);
        }
        module_free(module);
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusLoad);
INSTANTIATE_TEST_SUITE_P(Files, CorpusLoad, ::testing::ValuesIn(corpus_files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return test_name(info.param);
                         });
