// The JPEG writer's colour conversion, DCT and quantisation, written once and included by
// BaselineJpegWriter.cpp once per instruction set, inside a namespace that supplies kW (floats
// per vector, also the blocks coded side by side), the vector types F and I and the steps that
// differ between instruction sets: FromBytes, Trunc, ToFloat, LoadBlocks, StoreCoefs and
// NonzeroMask.
// Every lane does the scalar float operations in the scalar order (no contraction), so the
// coefficients do not depend on the instruction set. No include guard on purpose.

// The quotient of whole numbers below 2^24 (exact in floats) by `divisor`: the one from the
// reciprocal is off by at most one and the exact remainder corrects it.
ZELVO_JPEG_BODY F Quotient(F n, float divisor) {
    I q = Trunc(n * (1.0f / divisor));
    const F r = n - ToFloat(q) * divisor;
    q = q - (r >= divisor) + (r < 0.0f);
    return ToFloat(q);
}

// `count` (a multiple of 16) pixels of three byte planes into float planes, minus 128.
ZELVO_JPEG_BODY void ConvertBody(const uint8_t* blue, const uint8_t* green, const uint8_t* red,
                                 int count, float* y, float* cb, float* cr) {
    for (int x = 0; x < count; x += kW) {
        const F b = FromBytes(blue + x), g = FromBytes(green + x), r = FromBytes(red + x);
        const F ny = 299.0f * r + 587.0f * g + 114.0f * b;
        const F ncb = -1687.0f * r - 3313.0f * g + 5000.0f * b + 1280000.0f;
        const F ncr = 5000.0f * r - 4187.0f * g - 813.0f * b + 1280000.0f;
        const F outY = Quotient(ny, 1000.0f) - 128.0f;
        const F outCb = Quotient(ncb, 10000.0f) - 128.0f;
        const F outCr = Quotient(ncr, 10000.0f) - 128.0f;
        std::memcpy(y + x, &outY, sizeof(F));
        std::memcpy(cb + x, &outCb, sizeof(F));
        std::memcpy(cr + x, &outCr, sizeof(F));
    }
}

// One pass of the AAN forward DCT over 8 vectors `step` apart.
ZELVO_JPEG_BODY void Dct8(F* d, int step) {
    F tmp0 = d[0] + d[7 * step], tmp7 = d[0] - d[7 * step];
    F tmp1 = d[step] + d[6 * step], tmp6 = d[step] - d[6 * step];
    F tmp2 = d[2 * step] + d[5 * step], tmp5 = d[2 * step] - d[5 * step];
    F tmp3 = d[3 * step] + d[4 * step], tmp4 = d[3 * step] - d[4 * step];
    F tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    F tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    d[0] = tmp10 + tmp11;
    d[4 * step] = tmp10 - tmp11;
    F z1 = (tmp12 + tmp13) * 0.707106781f;
    d[2 * step] = tmp13 + z1;
    d[6 * step] = tmp13 - z1;
    tmp10 = tmp4 + tmp5;
    tmp11 = tmp5 + tmp6;
    tmp12 = tmp6 + tmp7;
    F z5 = (tmp10 - tmp12) * 0.382683433f;
    F z2 = 0.541196100f * tmp10 + z5;
    F z4 = 1.306562965f * tmp12 + z5;
    F z3 = tmp11 * 0.707106781f;
    F z11 = tmp7 + z3, z13 = tmp7 - z3;
    d[5 * step] = z13 + z2;
    d[3 * step] = z13 - z2;
    d[step] = z11 + z4;
    d[7 * step] = z11 - z4;
}

// The DCT of kW blocks of one plane starting at `plane` (rows planeWidth apart) and their
// quantised coefficients in zig-zag order: coef[lane][k], AC values clamped to +-1023.
ZELVO_JPEG_BODY void TransformBody(const float* plane, size_t planeWidth, const float* reciprocal,
                                   int16_t (*coef)[64]) {
    F v[64];
    LoadBlocks(plane, planeWidth, v);
    for (int i = 0; i < 8; ++i) Dct8(v + 8 * i, 1);
    for (int i = 0; i < 8; ++i) Dct8(v + i, 8);
    for (int k = 0; k < 64; k += 8) {
        I q[8];
        for (int i = 0; i < 8; ++i) {
            const int n = kJpegZigZag[k + i];
            // Adding 0.5 and truncating toward zero rounds negative values up, not away from zero.
            q[i] = Trunc(v[n] * reciprocal[n] + 0.5f);
        }
        StoreCoefs(q, k, coef);
    }
}

// A block's codes go out in pairs, the DC with the first AC.
ZELVO_JPEG_BODY void EncodeBlock(BitCursor& w, const int16_t* coef, Component& c) {
    const int diff = std::clamp(coef[0] - c.previousDc, -DcTable::kMax, DcTable::kMax);
    c.previousDc = coef[0];
    BitWriter::Add(w, c.dc->entry[diff + DcTable::kMax]);
    // Locals: every byte the coder stores could otherwise alias them.
    const AcTable* ac = c.ac;
    const uint64_t* entries = &ac->entry[0][0] + 1024;
    uint64_t nonzero = NonzeroMask(coef) & ~uint64_t(1);
    int64_t last = 0;
    // The code of the next nonzero value, after the runs of 16 zeros before it (each sent on
    // its own, the pending codes first).
    auto next = [&]() {
        const int64_t k = __builtin_ctzll(nonzero);
        nonzero &= nonzero - 1;
        int64_t run = k - last - 1;
        last = k;
        if (__builtin_expect(run > 15, 0)) {
            BitWriter::Commit(w);
            for (; run > 15; run -= 16) BitWriter::Put(w, ac->zeroRun);
        }
        return entries[(run << 11) + coef[k]];
    };
    for (;;) {
        if (!nonzero) break;
        BitWriter::Add(w, next());
        BitWriter::Commit(w);
        if (!nonzero) break;
        BitWriter::Add(w, next());
    }
    if (last < 63) BitWriter::Add(w, ac->endOfBlock);
    BitWriter::Commit(w);
}

// Codes one block: EncodeBlock, or where the instruction set allows a faster way that falls
// back to it; defined after this file.
ZELVO_JPEG_BODY void CodeBlock(BitCursor& w, const int16_t* coef, Component& c);

// The blocks of one group, pixel by pixel the three components.
BitCursor Encode(BitCursor cursor, const int16_t (*coef)[kMaxLanes][64], int lanes,
                 Component* comps) {
    for (int lane = 0; lane < lanes; ++lane)
        for (int c = 0; c < 3; ++c) CodeBlock(cursor, coef[c][lane], comps[c]);
    return cursor;
}

void Convert(const uint8_t* blue, const uint8_t* green, const uint8_t* red, int count, float* y,
             float* cb, float* cr) {
    ConvertBody(blue, green, red, count, y, cb, cr);
}

void Transform(const float* plane, size_t planeWidth, const float* reciprocal,
               int16_t (*coef)[64]) {
    TransformBody(plane, planeWidth, reciprocal, coef);
}

constexpr JpegKernels kKernels = {kW, Convert, Transform, Encode};
