// Decoding one 8x8 block of quantised coefficients: sequential (SOF0/SOF1) and the four
// progressive scan types (DC first, DC refinement, AC first, AC refinement).
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

inline void Refine(int16_t& coef, int p) {
  if (coef > 0)
    coef = static_cast<int16_t>(coef + p);
  else
    coef = static_cast<int16_t>(coef - p);
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

int TkelBaseJpegParser::DecodeAcRefine(TkelScanComponent& sc, TkelCoefBlock* block) {
  const int p = 1 << Al;
  const int se = Se;
  int16_t* const coefs = block->Coef;
  int k = Ss;
  int r;
  if (EobRun == 0) {
    const TkelHuffmanTable& ac = AcTables[sc.AcTable];
    for (; k <= se; ++k) {
      int rs = 0;
      r = HuffDecode(ac, rs);
      if (r != jrOK) return r;
      int run = rs >> 4;
      const int s = rs & 15;
      int newValue = 0;
      if (s == 0 && run < 15) {
        EobRun = 1 << run;
        if (run > 0) {
          int extra = 0;
          r = ReadBits(run, extra);
          if (r != jrOK) return r;
          EobRun += extra;
        }
        break;
      }
      if (s != 0) {
        int bit = 0;
        r = ReadBits(1, bit);
        if (r != jrOK) return r;
        newValue = bit ? p : -p;
      }
      {
        uint64_t acc = acc_;
        int bits = accBits_;
        while (k <= se) {
          int16_t& coef = coefs[kZigZag[k]];
          if (coef != 0) {
            int bit;
            VT_NEXT_BIT(bit);
            if (bit) Refine(coef, p);
          } else if (--run < 0) {
            break;
          }
          ++k;
        }
        acc_ = acc;
        accBits_ = bits;
      }
      if (newValue != 0 && k <= se) coefs[kZigZag[k]] = static_cast<int16_t>(newValue);
    }
  }
  if (EobRun > 0) {
    uint64_t acc = acc_;
    int bits = accBits_;
    for (; k <= se; ++k) {
      int16_t& coef = coefs[kZigZag[k]];
      if (coef != 0) {
        int bit;
        VT_NEXT_BIT(bit);
        if (bit) Refine(coef, p);
      }
    }
    acc_ = acc;
    accBits_ = bits;
    --EobRun;
  }
  return jrOK;
}

#undef VT_NEXT_BIT

}  // namespace vt
