// Building FITS files byte by byte for tests, and a scratch folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace lv::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// An 80-character record: keyword padded to 8, "= ", value right-justified to
// column 30 (text values starting with a quote are left as they stand).
std::string card(const std::string& keyword, const std::string& value);
// An 80-character record of free text.
std::string rawCard(const std::string& text);
inline std::string endCard() { return rawCard("END"); }

// Header records padded with blank records to whole 2880-byte blocks.
std::string headerBlock(const std::vector<std::string>& cards);

// Big-endian data.
std::string bytes8(std::initializer_list<int> values);
std::string bytes16(const std::vector<std::uint16_t>& values);
std::string bytes32(const std::vector<std::uint32_t>& values);
std::string bytesFloat(const std::vector<float>& values);

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// A whole monochrome file: SIMPLE, BITPIX, NAXIS, NAXIS1, NAXIS2, the extra
// records, END, then the data.
std::string simpleFits(int bitpix, int naxis1, int naxis2, const std::vector<std::string>& extra,
                       const std::string& data);

}  // namespace lv::test
