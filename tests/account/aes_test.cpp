#include "account/aes.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velquist {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Hex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes Sequence(size_t n, unsigned start = 0, unsigned step = 1) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<unsigned char>(start + i * step);
    }
    return out;
}

TEST(Aes, Fips197AppendixCVectors) {
    const Bytes plain = Hex("00112233445566778899aabbccddeeff");
    const Bytes zero_chain(32, 0);
    struct Vector {
        size_t key_length;
        const char* cipher;
    } vectors[] = {
        {16, "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {24, "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {32, "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (const Vector& v : vectors) {
        Bytes key = Sequence(v.key_length);
        AES aes;
        aes.SetKey(key.data(), zero_chain.data(), static_cast<int>(v.key_length), 16);
        Bytes out(16);
        aes.Encrypt(plain.data(), out.data(), 16, AES::ECB);
        EXPECT_EQ(out, Hex(v.cipher)) << v.key_length;
        Bytes back(16);
        aes.Decrypt(out.data(), back.data(), 16, AES::ECB);
        EXPECT_EQ(back, plain) << v.key_length;
    }
}

TEST(Aes, CbcChainCarriesOverBetweenCalls) {
    const Bytes key = Sequence(16, 7, 3);
    const Bytes iv = Sequence(16, 100, 5);
    const Bytes plain = Sequence(32, 1, 11);
    AES whole;
    whole.SetKey(key.data(), iv.data(), 16, 16);
    Bytes together(32);
    whole.Encrypt(plain.data(), together.data(), 32, AES::CBC);

    AES split;
    split.SetKey(key.data(), iv.data(), 16, 16);
    Bytes apart(32);
    split.Encrypt(plain.data(), apart.data(), 16, AES::CBC);
    split.Encrypt(plain.data() + 16, apart.data() + 16, 16, AES::CBC);
    EXPECT_EQ(together, apart);

    // The first block is the ECB encryption of plain ^ iv.
    Bytes mixed(16);
    for (size_t i = 0; i < 16; ++i) {
        mixed[i] = plain[i] ^ iv[i];
    }
    AES ecb;
    ecb.SetKey(key.data(), iv.data(), 16, 16);
    Bytes first(16);
    ecb.Encrypt(mixed.data(), first.data(), 16, AES::ECB);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), together.begin()));
}

TEST(Aes, DecryptInvertsEncryptForEveryModeAndSize) {
    const int sizes[] = {16, 24, 32};
    const AES::Mode modes[] = {AES::ECB, AES::CBC, AES::CFB, static_cast<AES::Mode>(7)};
    for (int key_length : sizes) {
        for (int block : sizes) {
            for (AES::Mode mode : modes) {
                Bytes key = Sequence(static_cast<size_t>(key_length), 3, 7);
                Bytes chain = Sequence(32, 9, 13);
                Bytes plain = Sequence(static_cast<size_t>(block) * 3, 5, 17);
                AES encrypt;
                encrypt.SetKey(key.data(), chain.data(), key_length, block);
                Bytes cipher(plain.size());
                encrypt.Encrypt(plain.data(), cipher.data(), plain.size(), mode);
                EXPECT_NE(cipher, plain);
                AES decrypt;
                decrypt.SetKey(key.data(), chain.data(), key_length, block);
                Bytes back(plain.size());
                decrypt.Decrypt(cipher.data(), back.data(), cipher.size(), mode);
                EXPECT_EQ(back, plain) << key_length << "/" << block << "/" << mode;
            }
        }
    }
}

TEST(Aes, RoundCountsFollowKeyAndBlock) {
    struct Case {
        int key_length, block, rounds;
    } cases[] = {{16, 16, 10}, {16, 24, 12}, {16, 32, 14}, {24, 16, 12}, {24, 24, 12},
                 {24, 32, 14}, {32, 16, 14}, {32, 24, 14}, {32, 32, 14}};
    Bytes key(32, 1);
    Bytes chain(32, 2);
    for (const Case& c : cases) {
        AES aes;
        aes.SetKey(key.data(), chain.data(), c.key_length, c.block);
        EXPECT_EQ(aes.Rounds(), c.rounds) << c.key_length << "/" << c.block;
    }
}

// A new key replaces the old one whichever block size either had: the library's
// contexts and the class's own round keys must not outlive their key.
TEST(Aes, RekeyingAcrossBlockSizesActsLikeAFreshObject) {
    const Bytes key_a = Sequence(32, 1, 3);
    const Bytes key_b = Sequence(16, 90, 7);
    const Bytes chain = Sequence(32, 4, 9);
    const Bytes plain = Sequence(64, 8, 5);
    for (int first_block : {16, 32}) {
        for (int second_block : {16, 24}) {
            AES fresh;
            fresh.SetKey(key_b.data(), chain.data(), 16, second_block);
            AES reused;
            reused.SetKey(key_a.data(), chain.data(), 32, first_block);
            Bytes scratch(plain.size());
            reused.Encrypt(plain.data(), scratch.data(), 32, AES::CBC);
            reused.SetKey(key_b.data(), chain.data(), 16, second_block);
            const std::size_t n = static_cast<std::size_t>(second_block) * 2;
            Bytes expected(n);
            Bytes actual(n);
            fresh.Encrypt(plain.data(), expected.data(), n, AES::CBC);
            reused.Encrypt(plain.data(), actual.data(), n, AES::CBC);
            EXPECT_EQ(actual, expected) << first_block << " -> " << second_block;
            EXPECT_EQ(reused.Rounds(), fresh.Rounds());
        }
    }
}

TEST(Aes, RejectedArgumentsWriteNothing) {
    Bytes key(16, 1);
    Bytes chain(16, 2);
    Bytes plain(32, 3);
    AES aes;
    aes.SetKey(key.data(), chain.data(), 16, 16);
    Bytes out(32, 0xAA);
    aes.Encrypt(plain.data(), out.data(), 15, AES::CBC);
    aes.Encrypt(plain.data(), out.data(), 0, AES::CBC);
    aes.Decrypt(plain.data(), out.data(), 17, AES::CBC);
    EXPECT_EQ(out, Bytes(32, 0xAA));

    // The rejected calls left the chain where it was.
    AES fresh;
    fresh.SetKey(key.data(), chain.data(), 16, 16);
    Bytes expected(16);
    fresh.Encrypt(plain.data(), expected.data(), 16, AES::CBC);
    aes.Encrypt(plain.data(), out.data(), 16, AES::CBC);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));

    AES unkeyed;
    unkeyed.SetKey(key.data(), chain.data(), 16, 20);
    unkeyed.SetKey(nullptr, chain.data(), 16, 16);
    unkeyed.SetKey(key.data(), chain.data(), 12, 16);
    Bytes untouched(32, 0x55);
    unkeyed.Encrypt(plain.data(), untouched.data(), 32, AES::ECB);
    unkeyed.EncryptBlock(plain.data(), untouched.data());
    unkeyed.DecryptBlock(plain.data(), untouched.data());
    EXPECT_EQ(untouched, Bytes(32, 0x55));
    EXPECT_EQ(unkeyed.Rounds(), 0);
}

} // namespace
} // namespace velquist

namespace velquist {
namespace {

// A byte-by-byte Rijndael written straight from the cipher's definition (state as rows
// and columns, GF(2^8) arithmetic), to check the table-driven paths for every size.
class TextbookRijndael {
  public:
    TextbookRijndael(const Bytes& key, int block) : nb_(block / 4) {
        const int nk = static_cast<int>(key.size()) / 4;
        rounds_ = std::max(nk, nb_) + 6;
        const int total = nb_ * (rounds_ + 1);
        words_.assign(static_cast<size_t>(total) * 4, 0);
        std::copy(key.begin(), key.end(), words_.begin());
        unsigned char rcon = 1;
        for (int i = nk; i < total; ++i) {
            unsigned char t[4];
            for (int b = 0; b < 4; ++b) {
                t[b] = words_[static_cast<size_t>((i - 1) * 4 + b)];
            }
            if (i % nk == 0) {
                unsigned char first = t[0];
                t[0] = static_cast<unsigned char>(Sbox(t[1]) ^ rcon);
                t[1] = Sbox(t[2]);
                t[2] = Sbox(t[3]);
                t[3] = Sbox(first);
                rcon = Mul(rcon, 2);
            } else if (nk > 6 && i % nk == 4) {
                for (auto& b : t) {
                    b = Sbox(b);
                }
            }
            for (int b = 0; b < 4; ++b) {
                words_[static_cast<size_t>(i * 4 + b)] =
                    words_[static_cast<size_t>((i - nk) * 4 + b)] ^ t[b];
            }
        }
    }

    Bytes Encrypt(const Bytes& in) const {
        Bytes s = in;
        AddRoundKey(s, 0);
        for (int r = 1; r <= rounds_; ++r) {
            for (auto& b : s) {
                b = Sbox(b);
            }
            ShiftRows(s);
            if (r != rounds_) {
                MixColumns(s);
            }
            AddRoundKey(s, r);
        }
        return s;
    }

  private:
    static unsigned char Mul(unsigned char a, unsigned char b) {
        unsigned char p = 0;
        for (; b != 0; b >>= 1) {
            if (b & 1) {
                p ^= a;
            }
            a = static_cast<unsigned char>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
        }
        return p;
    }
    static unsigned char Sbox(unsigned char x) {
        unsigned char inv = 0;
        for (int y = 1; y < 256 && x != 0; ++y) {
            if (Mul(x, static_cast<unsigned char>(y)) == 1) {
                inv = static_cast<unsigned char>(y);
            }
        }
        unsigned char s = 0x63;
        for (int bit = 0; bit < 8; ++bit) {
            int v = ((inv >> bit) ^ (inv >> ((bit + 4) % 8)) ^ (inv >> ((bit + 5) % 8)) ^
                     (inv >> ((bit + 6) % 8)) ^ (inv >> ((bit + 7) % 8))) &
                    1;
            s = static_cast<unsigned char>(s ^ (v << bit));
        }
        return s;
    }
    void AddRoundKey(Bytes& s, int round) const {
        for (size_t i = 0; i < s.size(); ++i) {
            s[i] ^= words_[static_cast<size_t>(round * nb_ * 4) + i];
        }
    }
    void ShiftRows(Bytes& s) const {
        const int shifts[4] = {0, 1, nb_ == 8 ? 3 : 2, nb_ == 8 ? 4 : 3};
        Bytes copy = s;
        for (int r = 1; r < 4; ++r) {
            for (int c = 0; c < nb_; ++c) {
                s[static_cast<size_t>(r + 4 * c)] =
                    copy[static_cast<size_t>(r + 4 * ((c + shifts[r]) % nb_))];
            }
        }
    }
    void MixColumns(Bytes& s) const {
        for (int c = 0; c < nb_; ++c) {
            unsigned char* col = &s[static_cast<size_t>(4 * c)];
            unsigned char a[4] = {col[0], col[1], col[2], col[3]};
            for (int r = 0; r < 4; ++r) {
                col[r] = static_cast<unsigned char>(Mul(a[r], 2) ^ Mul(a[(r + 1) % 4], 3) ^
                                                    a[(r + 2) % 4] ^ a[(r + 3) % 4]);
            }
        }
    }

    int nb_;
    int rounds_ = 0;
    Bytes words_;
};

TEST(Aes, EverySizeMatchesTheTextbookCipher) {
    for (int key_length : {16, 24, 32}) {
        for (int block : {16, 24, 32}) {
            Bytes key = Sequence(static_cast<size_t>(key_length), 11, 29);
            Bytes plain = Sequence(static_cast<size_t>(block), 200, 37);
            Bytes chain(32, 0);
            AES aes;
            aes.SetKey(key.data(), chain.data(), key_length, block);
            Bytes out(static_cast<size_t>(block));
            aes.EncryptBlock(plain.data(), out.data());
            EXPECT_EQ(out, TextbookRijndael(key, block).Encrypt(plain))
                << key_length << "/" << block;
            Bytes back(static_cast<size_t>(block));
            aes.DecryptBlock(out.data(), back.data());
            EXPECT_EQ(back, plain) << key_length << "/" << block;
        }
    }
}

} // namespace
} // namespace velquist
