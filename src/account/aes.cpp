#include "account/aes.h"

#include <array>
#include <cstring>
#include <openssl/evp.h>

namespace velquist {
namespace {

using Table = std::array<std::uint32_t, 256>;

std::uint8_t Times2(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0x00));
}

std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b != 0) {
        if (b & 1) {
            product ^= a;
        }
        a = Times2(a);
        b >>= 1;
    }
    return product;
}

std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) | b3;
}

std::uint32_t RotateRight8(std::uint32_t w) {
    return (w >> 8) | (w << 24);
}

// The standard's constant tables, computed once from their definitions.
struct Tables {
    std::array<std::uint8_t, 256> sbox{};
    std::array<std::uint8_t, 256> inv_sbox{};
    Table te[4]{};
    Table td[4]{};
    std::array<std::uint8_t, 32> rcon{};

    Tables() {
        BuildSbox();
        for (int x = 0; x < 256; ++x) {
            std::uint8_t s = sbox[x];
            std::uint8_t i = inv_sbox[x];
            te[0][x] = Word(Times2(s), s, s, Multiply(s, 3));
            td[0][x] = Word(Multiply(i, 14), Multiply(i, 9), Multiply(i, 13), Multiply(i, 11));
            for (int t = 1; t < 4; ++t) {
                te[t][x] = RotateRight8(te[t - 1][x]);
                td[t][x] = RotateRight8(td[t - 1][x]);
            }
        }
        std::uint8_t r = 1;
        for (auto& entry : rcon) {
            entry = r;
            r = Times2(r);
        }
    }

    void BuildSbox() {
        for (int x = 0; x < 256; ++x) {
            std::uint8_t inverse = 0;
            for (int y = 1; y < 256 && x != 0; ++y) {
                if (Multiply(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)) == 1) {
                    inverse = static_cast<std::uint8_t>(y);
                    break;
                }
            }
            std::uint8_t s = inverse;
            for (int shift = 1; shift <= 4; ++shift) {
                s ^= static_cast<std::uint8_t>((inverse << shift) | (inverse >> (8 - shift)));
            }
            s ^= 0x63;
            sbox[x] = s;
            inv_sbox[s] = static_cast<std::uint8_t>(x);
        }
    }
};

const Tables& T() {
    static const Tables tables;
    return tables;
}

std::uint32_t Load(const unsigned char* p) {
    return Word(p[0], p[1], p[2], p[3]);
}

void Store(std::uint32_t w, unsigned char* p) {
    p[0] = static_cast<unsigned char>(w >> 24);
    p[1] = static_cast<unsigned char>(w >> 16);
    p[2] = static_cast<unsigned char>(w >> 8);
    p[3] = static_cast<unsigned char>(w);
}

std::uint8_t Byte(std::uint32_t w, int index) {
    return static_cast<std::uint8_t>(w >> (24 - 8 * index));
}

std::uint32_t SubWord(std::uint32_t w) {
    const auto& s = T().sbox;
    return Word(s[Byte(w, 0)], s[Byte(w, 1)], s[Byte(w, 2)], s[Byte(w, 3)]);
}

std::uint32_t InvSubWordShifted(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2,
                                std::uint32_t w3) {
    const auto& s = T().inv_sbox;
    return Word(s[Byte(w0, 0)], s[Byte(w1, 1)], s[Byte(w2, 2)], s[Byte(w3, 3)]);
}

std::uint32_t SubWordShifted(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2,
                             std::uint32_t w3) {
    const auto& s = T().sbox;
    return Word(s[Byte(w0, 0)], s[Byte(w1, 1)], s[Byte(w2, 2)], s[Byte(w3, 3)]);
}

// InvMixColumns of one column: Td applied to the S-box undoes the substitution it folds in.
std::uint32_t InvMixColumn(std::uint32_t w) {
    const Tables& t = T();
    return t.td[0][t.sbox[Byte(w, 0)]] ^ t.td[1][t.sbox[Byte(w, 1)]] ^ t.td[2][t.sbox[Byte(w, 2)]] ^
           t.td[3][t.sbox[Byte(w, 3)]];
}

int RoundsFor(int key_length, int block_size) {
    static const int kRounds[3][3] = {{10, 12, 14}, {12, 12, 14}, {14, 14, 14}};
    return kRounds[(key_length - 16) / 8][(block_size - 16) / 8];
}

bool ValidSize(int size) {
    return size == 16 || size == 24 || size == 32;
}

const EVP_CIPHER* LibraryCipher(int key_length) {
    switch (key_length) {
    case 16:
        return EVP_aes_128_ecb();
    case 24:
        return EVP_aes_192_ecb();
    default:
        return EVP_aes_256_ecb();
    }
}

// Row shifts of the state for 4, 6 and 8 columns.
void ShiftOffsets(int columns, int* s1, int* s2, int* s3) {
    *s1 = 1;
    *s2 = columns == 8 ? 3 : 2;
    *s3 = columns == 8 ? 4 : 3;
}

} // namespace

AES::AES() = default;
AES::~AES() = default;

void AES::ContextFree::operator()(evp_cipher_ctx_st* context) const {
    EVP_CIPHER_CTX_free(context);
}

// Both directions keyed into fresh contexts, which replace the old ones only when all
// of it worked: a library failure leaves the object as it was, like a rejected key.
bool AES::SetLibraryKey(const unsigned char* key, int keyLength) {
    Context encrypt(EVP_CIPHER_CTX_new());
    Context decrypt(EVP_CIPHER_CTX_new());
    const EVP_CIPHER* cipher = LibraryCipher(keyLength);
    if (!encrypt || !decrypt ||
        EVP_EncryptInit_ex(encrypt.get(), cipher, nullptr, key, nullptr) != 1 ||
        EVP_DecryptInit_ex(decrypt.get(), cipher, nullptr, key, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(encrypt.get(), 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(decrypt.get(), 0) != 1) {
        return false;
    }
    encrypt_context_ = std::move(encrypt);
    decrypt_context_ = std::move(decrypt);
    return true;
}

void AES::SetKey(const unsigned char* key, const unsigned char* chain, int keyLength,
                 int blockSize) {
    if (key == nullptr || chain == nullptr || !ValidSize(keyLength) || !ValidSize(blockSize)) {
        return;
    }
    if (blockSize == 16) {
        if (!SetLibraryKey(key, keyLength)) {
            return;
        }
    } else {
        encrypt_context_.reset();
        decrypt_context_.reset();
    }
    key_length_ = keyLength;
    block_size_ = blockSize;
    std::memcpy(initial_chain_, chain, static_cast<std::size_t>(blockSize));
    std::memcpy(chain_, chain, static_cast<std::size_t>(blockSize));
    rounds_ = RoundsFor(keyLength, blockSize);
    std::memset(enc_keys_, 0, sizeof(enc_keys_));
    std::memset(dec_keys_, 0, sizeof(dec_keys_));
    if (blockSize != 16) {
        ExpandKey(key);
    }
    key_ready_ = true;
}

void AES::ExpandKey(const unsigned char* key) {
    const int nk = key_length_ / 4;
    const int nb = block_size_ / 4;
    const int total = (rounds_ + 1) * nb;
    std::uint32_t words[(14 + 1) * 8] = {};
    for (int i = 0; i < nk; ++i) {
        words[i] = Load(key + 4 * i);
    }
    for (int i = nk; i < total; ++i) {
        std::uint32_t temp = words[i - 1];
        if (i % nk == 0) {
            temp =
                SubWord((temp << 8) | (temp >> 24)) ^ (std::uint32_t{T().rcon[i / nk - 1]} << 24);
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        words[i] = words[i - nk] ^ temp;
    }
    for (int t = 0; t < total; ++t) {
        enc_keys_[t / nb][t % nb] = words[t];
        dec_keys_[rounds_ - t / nb][t % nb] = words[t];
    }
    for (int r = 1; r < rounds_; ++r) {
        for (int c = 0; c < nb; ++c) {
            dec_keys_[r][c] = InvMixColumn(dec_keys_[r][c]);
        }
    }
}

bool AES::Usable(std::size_t n) const {
    return key_ready_ && n != 0 && n % static_cast<std::size_t>(block_size_) == 0;
}

void AES::XorBlock(unsigned char* target, const unsigned char* other) const {
    if (!key_ready_) {
        return;
    }
    for (int i = 0; i < block_size_; ++i) {
        target[i] ^= other[i];
    }
}

void AES::Encrypt(const unsigned char* in, unsigned char* out, std::size_t n, Mode mode) {
    if (!Usable(n)) {
        return;
    }
    const auto size = static_cast<std::size_t>(block_size_);
    for (std::size_t offset = 0; offset < n; offset += size) {
        const unsigned char* block_in = in + offset;
        unsigned char* block_out = out + offset;
        switch (mode) {
        case CBC:
            XorBlock(chain_, block_in);
            EncryptBlock(chain_, block_out);
            std::memcpy(chain_, block_out, size);
            break;
        case CFB:
            EncryptBlock(chain_, block_out);
            XorBlock(block_out, block_in);
            std::memcpy(chain_, block_out, size);
            break;
        default:
            EncryptBlock(block_in, block_out);
            break;
        }
    }
}

void AES::Decrypt(const unsigned char* in, unsigned char* out, std::size_t n, Mode mode) {
    if (!Usable(n)) {
        return;
    }
    const auto size = static_cast<std::size_t>(block_size_);
    for (std::size_t offset = 0; offset < n; offset += size) {
        const unsigned char* block_in = in + offset;
        unsigned char* block_out = out + offset;
        switch (mode) {
        case CBC:
            DecryptBlock(block_in, block_out);
            XorBlock(block_out, chain_);
            std::memcpy(chain_, block_in, size);
            break;
        case CFB:
            EncryptBlock(chain_, block_out);
            XorBlock(block_out, block_in);
            std::memcpy(chain_, block_in, size);
            break;
        default:
            DecryptBlock(block_in, block_out);
            break;
        }
    }
}

void AES::EncryptBlock(const unsigned char* in, unsigned char* out) {
    if (!key_ready_) {
        return;
    }
    if (block_size_ != 16) {
        EncryptBlockGeneral(in, out);
        return;
    }
    int written = 0;
    EVP_EncryptUpdate(encrypt_context_.get(), out, &written, in, 16);
}

void AES::DecryptBlock(const unsigned char* in, unsigned char* out) {
    if (!key_ready_) {
        return;
    }
    if (block_size_ != 16) {
        DecryptBlockGeneral(in, out);
        return;
    }
    int written = 0;
    EVP_DecryptUpdate(decrypt_context_.get(), out, &written, in, 16);
}

void AES::EncryptBlockGeneral(const unsigned char* in, unsigned char* out) {
    const Tables& t = T();
    const int nb = block_size_ / 4;
    int s1 = 0;
    int s2 = 0;
    int s3 = 0;
    ShiftOffsets(nb, &s1, &s2, &s3);
    std::uint32_t* state = work_a_;
    std::uint32_t* next = work_b_;
    for (int c = 0; c < nb; ++c) {
        state[c] = Load(in + 4 * c) ^ enc_keys_[0][c];
    }
    for (int r = 1; r < rounds_; ++r) {
        for (int c = 0; c < nb; ++c) {
            next[c] = t.te[0][state[c] >> 24] ^ t.te[1][Byte(state[(c + s1) % nb], 1)] ^
                      t.te[2][Byte(state[(c + s2) % nb], 2)] ^
                      t.te[3][Byte(state[(c + s3) % nb], 3)] ^ enc_keys_[r][c];
        }
        std::memcpy(state, next, sizeof(std::uint32_t) * static_cast<std::size_t>(nb));
    }
    for (int c = 0; c < nb; ++c) {
        work_c_[c] = SubWordShifted(state[c], state[(c + s1) % nb], state[(c + s2) % nb],
                                    state[(c + s3) % nb]) ^
                     enc_keys_[rounds_][c];
        Store(work_c_[c], out + 4 * c);
    }
}

void AES::DecryptBlockGeneral(const unsigned char* in, unsigned char* out) {
    const Tables& t = T();
    const int nb = block_size_ / 4;
    int s1 = 0;
    int s2 = 0;
    int s3 = 0;
    ShiftOffsets(nb, &s1, &s2, &s3);
    s1 = nb - s1;
    s2 = nb - s2;
    s3 = nb - s3;
    std::uint32_t* state = work_a_;
    std::uint32_t* next = work_b_;
    for (int c = 0; c < nb; ++c) {
        state[c] = Load(in + 4 * c) ^ dec_keys_[0][c];
    }
    for (int r = 1; r < rounds_; ++r) {
        for (int c = 0; c < nb; ++c) {
            next[c] = t.td[0][state[c] >> 24] ^ t.td[1][Byte(state[(c + s1) % nb], 1)] ^
                      t.td[2][Byte(state[(c + s2) % nb], 2)] ^
                      t.td[3][Byte(state[(c + s3) % nb], 3)] ^ dec_keys_[r][c];
        }
        std::memcpy(state, next, sizeof(std::uint32_t) * static_cast<std::size_t>(nb));
    }
    for (int c = 0; c < nb; ++c) {
        work_c_[c] = InvSubWordShifted(state[c], state[(c + s1) % nb], state[(c + s2) % nb],
                                       state[(c + s3) % nb]) ^
                     dec_keys_[rounds_][c];
        Store(work_c_[c], out + 4 * c);
    }
}

} // namespace velquist
