#include "platform/paradox/BlockCipher.h"

#include <array>
#include <cstring>

namespace paradox {

namespace {

using Table = std::array<quint8, 256>;

constexpr quint8 hexDigit(char c)
{
    return quint8(c <= '9' ? c - '0' : c - 'a' + 10);
}

constexpr Table fromHex(const char (&hex)[513])
{
    Table t {};
    for (int i = 0; i < 256; ++i)
        t[i] = quint8(hexDigit(hex[2 * i]) << 4 | hexDigit(hex[2 * i + 1]));
    return t;
}

// The three fixed tables of the scheme.
constexpr Table MaskA = fromHex("b2a50cdd38fecb5b0c23ec6a953ed52d2cf72d30ea1598b45f82d3aff44c8416"
                                "74170511acdb43919c77a038bed68f25b1ee6d803714a97a57386c2fa64f7c38"
                                "71d40b51f6b945211d6c4d876ea7e7210d85f4ce3a816a3ed732a423ace90191"
                                "b0edc74612ac153dff1b7b3bbaee2c2c68a66260ed5b843361623979d4d2eb60"
                                "b8251ddbff3a219ab0c3f76352f52294f9b4b7be9f543bcee13c73cbea2d4500"
                                "9dc278e7960f143aa4dc01648dd6594e390f157df08c8ac578034ae8fbef18b4"
                                "523179d08eaac3c6ceede9425ad62d06c79ab13862d97e6174d246decb2b0c59"
                                "0b649d1c4fb206919b63b5b2a9fdad5a38f9136e9d2d4b02f9136f50cb2109fa");
constexpr Table MaskB = fromHex("61a7790237346f8101c2b2b3d64d3e030660984446681ceb104a5bae22482442"
                                "9f5590c17d2f6c414e8256d81e3228c6edbc3c3ae9873b8f8608a3fba46299ff"
                                "59b9de2d58931bb1762baad92aaccaf9e0b7051177a98eefb5bb26ea8d189bfe"
                                "c7f85a83fd2e6b8433fa69d474bfcbc419963fe525f2a5d595f3a039dce4a17f"
                                "7b497af1eef7750991679738d38947311f2c0ece20cc9c2317920ff4136471c8"
                                "cd3db4cfe15052af6d27b69430048c534bd24f21296a1aec5c7e519a0d85e61d"
                                "c588a8dd9ef65fdabd6e9d54db5ec0805db840631512a20c07ad70147216d0a6"
                                "6535bae7abfcc3c9be0bb0f545e24c730a3678438b8af066d100df7ce3e857d7");
// Also the permutation: byte x of a plain chunk sits at (Perm[x] - d) of the scrambled one.
constexpr Table Perm = fromHex("f908030fad5210d83987f0e9d7bc929a1853d59cdbd4dd985d70b64616bf2c90"
                               "94b31c971e745aa92eb44c4991436525ac8f2d6805e1f1048b7b333632a10e72"
                               "d2271ff313ec148e1d8119b0ee0d28b2a5baa6afcb212afe4440621ab8d0cdc6"
                               "11003dd39de0f789156ab56626a8c906da9edcef6c864854f2028280fb24b97f"
                               "cf07296367bd3835c18df5f4ae5c563722889945ab78718a123ebb5e96cac420"
                               "7a7ed63a3c76df01c2554ae44dd91ba7ea470a0ba258aa51d141e25931c8e86d"
                               "ce2309e66fc02f609fe74e6e95a093a3def8b18c6b770cff2b4bc7cc7cc342fa"
                               "50a4edfc7d73bee3fd345b17b7308457f68375799bebc585614f693be5645f3f");

// One chunk; c and d vary by chunk and block, a and b come from the key.
template<bool Decrypt> void transformChunk(char *chunk, quint8 a, quint8 b, quint8 c, quint8 d)
{
    char out[BlockCipher::ChunkSize];
    for (int x = 0; x < 256; ++x) {
        const int y = (Perm[x] - d) & 0xff;
        const quint8 mask = MaskA[(x + a) & 0xff] ^ MaskB[(y + b) & 0xff] ^ Perm[(y + c) & 0xff];
        if (Decrypt)
            out[x] = char(quint8(chunk[y]) ^ mask);
        else
            out[y] = char(quint8(chunk[x]) ^ mask);
    }
    std::memcpy(chunk, out, sizeof out);
}

} // namespace

BlockCipher::BlockCipher(quint32 key)
    : m_a(quint8(key & 0xff))
    , m_b(quint8((key >> 8) & 0xff))
{ }

void BlockCipher::decryptTableBlock(char *data, qsizetype size, int blockNumber) const
{
    for (qsizetype i = 0; i + ChunkSize <= size; i += ChunkSize)
        transformChunk<true>(data + i, m_a, m_b, quint8(i / ChunkSize), quint8(blockNumber));
}

void BlockCipher::decryptMemoChunks(char *data, qsizetype size) const
{
    for (qsizetype i = 0; i + ChunkSize <= size; i += ChunkSize)
        transformChunk<true>(data + i, m_a, m_b, quint8(m_a + 1), quint8(m_b + 1));
}

void BlockCipher::encryptTableBlock(char *data, qsizetype size, int blockNumber) const
{
    for (qsizetype i = 0; i + ChunkSize <= size; i += ChunkSize)
        transformChunk<false>(data + i, m_a, m_b, quint8(i / ChunkSize), quint8(blockNumber));
}

void BlockCipher::encryptMemoChunks(char *data, qsizetype size) const
{
    for (qsizetype i = 0; i + ChunkSize <= size; i += ChunkSize)
        transformChunk<false>(data + i, m_a, m_b, quint8(m_a + 1), quint8(m_b + 1));
}

} // namespace paradox
