#include "fits_builder.h"

#include <bit>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "core/fits_header.h"

namespace lv::test {

TempDir::TempDir()
{
    std::random_device rd;
    for (int i = 0; i < 100; ++i) {
        auto p = std::filesystem::temp_directory_path() / ("lumavist-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string rawCard(const std::string& text) { return paddedCard(text); }

std::string card(const std::string& keyword, const std::string& value) { return valueCard(keyword, value); }

std::string headerBlock(const std::vector<std::string>& cards)
{
    std::string h;
    for (const auto& c : cards) h += c;
    while (h.size() % 2880 != 0) h += ' ';
    return h;
}

std::string bytes8(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

std::string bytes16(const std::vector<std::uint16_t>& values)
{
    std::string s;
    for (auto v : values) {
        s.push_back(static_cast<char>(v >> 8));
        s.push_back(static_cast<char>(v & 0xff));
    }
    return s;
}

std::string bytes32(const std::vector<std::uint32_t>& values)
{
    std::string s;
    for (auto v : values)
        for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xff));
    return s;
}

std::string bytesFloat(const std::vector<float>& values)
{
    std::vector<std::uint32_t> bits;
    for (float f : values) bits.push_back(std::bit_cast<std::uint32_t>(f));
    return bytes32(bits);
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string simpleFits(int bitpix, int naxis1, int naxis2, const std::vector<std::string>& extra,
                       const std::string& data)
{
    std::vector<std::string> cards = {card("SIMPLE", "T"), card("BITPIX", std::to_string(bitpix)),
                                      card("NAXIS", "2"), card("NAXIS1", std::to_string(naxis1)),
                                      card("NAXIS2", std::to_string(naxis2))};
    cards.insert(cards.end(), extra.begin(), extra.end());
    cards.push_back(endCard());
    return headerBlock(cards) + data;
}

}  // namespace lv::test
