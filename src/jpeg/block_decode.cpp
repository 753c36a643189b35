// Decoding one 8x8 block of quantised coefficients: sequential (SOF0/SOF1) and the four
// progressive scan types (DC first, DC refinement, AC first, AC refinement).
#include <bit>

#include "jpeg/bit_reader.h"
#include "jpeg/std_tables.h"

namespace vt {

namespace {

// DC values accumulate in a 32-bit predictor; wrap instead of overflowing on garbage.
inline int32_t AddWrapped(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace

int TkelBaseJpegParser::DecodeDc(TkelScanComponent& sc, int32_t& dc) {
  int t = 0;
  int r = HuffDecode(DcTables[sc.DcTable], t);
  if (r != jrOK) return r;
  // A DC difference category above 16 exists in no valid stream; it would read more bits
  // than any coefficient can hold.
  if (t > 16) return jrBadData;
  int diff = 0;
  r = Receive(t, diff);
  if (r != jrOK) return r;
  dc = AddWrapped(sc.DcPredictor, diff);
  return jrOK;
}

int TkelBaseJpegParser::DecodeSequentialBlock(TkelScanComponent& sc, TkelCoefBlock* block) {
  int32_t dc = 0;
  int r = DecodeDc(sc, dc);
  if (r != jrOK) return r;
  if (sc.ForceDc) {
    dc = sc.ForcedDc;
    sc.ForceDc = 0;
  }
  block->Coef[0] = static_cast<int16_t>(dc);
  block->Decoded = 1;
  sc.DcPredictor = dc;
  const TkelHuffmanTable& ac = AcTables[sc.AcTable];
  int16_t* const coefs = block->Coef;
  // The accumulator lives in locals here; the members are brought up to date around every
  // call that uses them.
  uint64_t acc = acc_;
  int bits = accBits_;
  int k = 1;
  while (k < 64) {
    if (bits < 17) {
      acc_ = acc;
      accBits_ = bits;
      FillFast();
      if (accBits_ < 17) FillBits();
      acc = acc_;
      bits = accBits_;
    }
    // A short code with its value bits resolves in one lookup.
    if (bits >= kHuffLookupBits) {
      const unsigned idx = static_cast<unsigned>(acc >> (64 - kHuffLookupBits));
      const int32_t fast = ac.LookupAc[idx];
      if (fast != 0) {
        k += (fast >> 8) & 15;
        if (k > 63) {  // the code was read, its value bits not
          acc_ = acc << ac.LookupLength[idx];
          accBits_ = bits - ac.LookupLength[idx];
          return jrBadData;
        }
        const int used = fast & 31;
        acc <<= used;
        bits -= used;
        coefs[kZigZag[k]] = static_cast<int16_t>(fast >> 16);
        ++k;
        continue;
      }
    }
    acc_ = acc;
    accBits_ = bits;
    int rs = 0;
    r = HuffDecode(ac, rs);
    if (r != jrOK) return r;
    const int run = rs >> 4;
    const int size = rs & 15;
    if (size > 0) {
      k += run;
      if (k > 63) return jrBadData;
      int v = 0;
      r = Receive(size, v);
      if (r != jrOK) return r;
      coefs[kZigZag[k]] = static_cast<int16_t>(v);
      ++k;
    } else if (run == 15) {
      k += 16;
    } else if (rs == 0) {
      return jrOK;
    } else {
      return jrBadData;
    }
    acc = acc_;
    bits = accBits_;
  }
  acc_ = acc;
  accBits_ = bits;
  return jrOK;
}

int TkelBaseJpegParser::DecodeDcFirst(TkelScanComponent& sc, TkelCoefBlock* block) {
  int32_t dc = 0;
  const int r = DecodeDc(sc, dc);
  if (r != jrOK) return r;
  block->Coef[0] = static_cast<int16_t>(static_cast<uint32_t>(dc) << Al);
  block->Decoded = 1;
  sc.DcPredictor = dc;
  return jrOK;
}

int TkelBaseJpegParser::DecodeDcRefine(TkelCoefBlock* block) {
  int bit = 0;
  const int r = ReadBits(1, bit);
  if (r != jrOK) return r;
  if (bit) block->Coef[0] = static_cast<int16_t>(block->Coef[0] | (1 << Al));
  return jrOK;
}

int TkelBaseJpegParser::DecodeAcFirst(TkelScanComponent& sc, TkelCoefBlock* block) {
  if (EobRun > 0) {
    --EobRun;
    return jrOK;
  }
  const TkelHuffmanTable& ac = AcTables[sc.AcTable];
  for (int k = Ss; k <= Se; ++k) {
    if (accBits_ < 17) FillFast();
    if (accBits_ >= kHuffLookupBits) {
      const unsigned idx = static_cast<unsigned>(acc_ >> (64 - kHuffLookupBits));
      const int32_t fast = ac.LookupAc[idx];
      if (fast != 0) {
        k += (fast >> 8) & 15;
        if (k > Se) {  // the code was read, its value bits not
          acc_ <<= ac.LookupLength[idx];
          accBits_ -= ac.LookupLength[idx];
          return jrBadData;
        }
        acc_ <<= fast & 31;
        accBits_ -= fast & 31;
        block->Coef[kZigZag[k]] = static_cast<int16_t>((fast >> 16) * (1 << Al));
        continue;
      }
    }
    int rs = 0;
    int r = HuffDecode(ac, rs);
    if (r != jrOK) return r;
    const int run = rs >> 4;
    const int s = rs & 15;
    if (s > 0) {
      k += run;
      if (k > Se) return jrBadData;
      int v = 0;
      r = Receive(s, v);
      if (r != jrOK) return r;
      block->Coef[kZigZag[k]] = static_cast<int16_t>(v * (1 << Al));
    } else if (run < 15) {
      EobRun = 1 << run;
      if (run > 0) {
        int extra = 0;
        r = ReadBits(run, extra);
        if (r != jrOK) return r;
        EobRun += extra;
      }
      --EobRun;
      break;
    } else {
      k += 15;
    }
  }
  return jrOK;
}

namespace {

// A non-zero coefficient with its correction bit: p away from zero when the bit is 1. Without
// branches: the bits are random, and a mispredicted branch per bit was the cost of the scan.
inline int16_t RefinedBy(int16_t coef, int p, int bit) {
  const int step = coef > 0 ? p : -p;
  return static_cast<int16_t>(coef + (step & -bit));
}

}  // namespace

// The next bit from a local copy of the accumulator (acc, bits), refilled through the
// members; at a marker or the end of the data the function returns its code.
#define VT_NEXT_BIT(out)                       \
  do {                                         \
    if (bits == 0) {                           \
      acc_ = 0;                                \
      accBits_ = 0;                            \
      FillFast();                              \
      if (accBits_ == 0) {                     \
        FillBits();                            \
        if (accBits_ == 0) return ReachPending(); \
      }                                        \
      acc = acc_;                              \
      bits = accBits_;                         \
    }                                          \
    (out) = static_cast<int>(acc >> 63);       \
    acc <<= 1;                                 \
    --bits;                                    \
  } while (0)

// The bit state in locals (acc, bits) for the whole block; the members are brought up to date
// around every call that uses them, and refills go through them, so symbols, errors and
// Position are those of the member-based reader.
#define VT_SYNC_OUT() (acc_ = acc, accBits_ = bits)
#define VT_SYNC_IN() (acc = acc_, bits = accBits_)

int TkelBaseJpegParser::DecodeAcRefine(TkelScanComponent& sc, TkelCoefBlock* block) {
  const int p = 1 << Al;
  const int se = Se;
  int16_t* const coefs = block->Coef;
  int k = Ss;
  int r;
  uint64_t acc = acc_;
  int bits = accBits_;
  if (EobRun == 0) {
    const TkelHuffmanTable& ac = AcTables[sc.AcTable];
    for (; k <= se; ++k) {
      int rs = 0;
      if (bits < 17) {
        VT_SYNC_OUT();
        FillFast();
        if (accBits_ < 17) FillBits();
        VT_SYNC_IN();
      }
      const unsigned idx = static_cast<unsigned>(acc >> (64 - kHuffLookupBits));
      const int len = bits >= 17 ? ac.LookupLength[idx] : 0;
      if (len != 0) {
        rs = ac.LookupValue[idx];
        acc <<= len;
        bits -= len;
      } else {  // a long code, or the bits near a marker: the member reader's exact rule
        VT_SYNC_OUT();
        r = HuffDecode(ac, rs);
        if (r != jrOK) return r;
        VT_SYNC_IN();
      }
      int run = rs >> 4;
      const int s = rs & 15;
      int newValue = 0;
      if (s == 0 && run < 15) {
        EobRun = 1 << run;
        if (run > 0) {
          VT_SYNC_OUT();
          int extra = 0;
          r = ReadBits(run, extra);
          if (r != jrOK) return r;
          VT_SYNC_IN();
          EobRun += extra;
        }
        break;
      }
      if (s != 0) {
        int bit;
        VT_NEXT_BIT(bit);
        newValue = bit ? p : -p;
      }
      while (k <= se) {
        int16_t& coef = coefs[kZigZag[k]];
        if (coef != 0) {
          int bit;
          VT_NEXT_BIT(bit);
          coef = RefinedBy(coef, p, bit);
        } else if (--run < 0) {
          break;
        }
        ++k;
      }
      if (newValue != 0 && k <= se) coefs[kZigZag[k]] = static_cast<int16_t>(newValue);
    }
  }
  if (EobRun > 0) {
    // The non-zero coefficients left in the band, found without a branch per coefficient, then
    // corrected in zig-zag order.
    uint64_t nonzero = 0;
    for (int j = k; j <= se; ++j) nonzero |= uint64_t(coefs[kZigZag[j]] != 0) << j;
    while (nonzero != 0) {
      const int j = std::countr_zero(nonzero);
      nonzero &= nonzero - 1;
      int16_t& coef = coefs[kZigZag[j]];
      int bit;
      VT_NEXT_BIT(bit);
      coef = RefinedBy(coef, p, bit);
    }
    --EobRun;
  }
  VT_SYNC_OUT();
  return jrOK;
}

#undef VT_SYNC_OUT
#undef VT_SYNC_IN
#undef VT_NEXT_BIT

}  // namespace vt
