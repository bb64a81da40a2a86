#include "tests/fuzz/scratch_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace rtq::fuzz {

namespace {

std::string* g_folder = nullptr;

void RemoveFolder() {
    std::error_code ec;
    if (g_folder) std::filesystem::remove_all(*g_folder, ec);
}

std::string MakeFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/rtq-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
}

}  // namespace

const std::string& ScratchFolder() {
    if (!g_folder) {
        g_folder = new std::string(MakeFolder());
        std::atexit(RemoveFolder);
    }
    return *g_folder;
}

std::string WriteScratchFile(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchFolder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::abort();
    return path;
}

}  // namespace rtq::fuzz
