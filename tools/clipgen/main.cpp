// Writes clip 100, the animation of the "Programm-Info" page: the exchange with
// its network terminator above it; pulses come down the ISDN line and each
// one lights the next of the eight a/b ports and runs out along its cable.
// A 105 x 105 RIFF AVI, 40 frames at 20 per second, BI_RLE8, 256 colours.
// Plain C++ so the output is the same on every machine.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 105;
constexpr int kFrames = 40;
constexpr std::uint32_t kPeriodUs = 50000;

// Palette: 0 is the page's grey (drawn transparent), then ramps of 16 shades.
enum Ramp : int { Grey = 16, Ivory = 32, Green = 48, Amber = 64, Navy = 80 };

std::array<std::uint32_t, 256> MakePalette() {
    std::array<std::uint32_t, 256> pal{};
    auto rgb = [](double r, double g, double b) {
        auto c = [](double v) { return std::uint32_t(std::clamp(std::lround(v), 0l, 255l)); };
        return c(r) << 16 | c(g) << 8 | c(b);
    };
    pal[0] = rgb(192, 192, 192);
    for (int i = 0; i < 16; ++i) {
        const double t = i / 15.0;
        pal[Grey + i] = rgb(24 + 231 * t, 24 + 231 * t, 24 + 231 * t);
        const double s = 0.30 + 0.70 * t;
        pal[Ivory + i] = rgb(240 * s, 234 * s, 212 * s);
        pal[Green + i] = rgb(10 + 150 * t * t, 40 + 215 * t, 10 + 150 * t * t);
        pal[Amber + i] = rgb(60 + 195 * t, 25 + 205 * t, 40 * t * t + 10);
        pal[Navy + i] = rgb(10 + 120 * t, 20 + 140 * t, 70 + 185 * t);
    }
    // The rest: a colour cube, so the clip carries a full 256-colour palette.
    for (int i = 96; i < 256; ++i) {
        const int k = i - 96;
        pal[i] = rgb((k % 6) * 51, (k / 6 % 6) * 51, (k / 36 % 6) * 51);
    }
    return pal;
}

struct TFrame {
    std::array<std::uint8_t, kSize * kSize> px{};
    void set(int x, int y, int c) {
        if (x >= 0 && y >= 0 && x < kSize && y < kSize)
            px[y * kSize + x] = std::uint8_t(c);
    }
    void fill(int x0, int y0, int x1, int y1, int c) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                set(x, y, c);
    }
};

struct TPoint {
    int x, y;
};

// The pixels of a quadratic curve, in order and without repeats.
std::vector<TPoint> Curve(TPoint a, TPoint m, TPoint b) {
    std::vector<TPoint> out;
    for (int i = 0; i <= 400; ++i) {
        const double t = i / 400.0, u = 1 - t;
        const TPoint p{int(std::lround(u * u * a.x + 2 * u * t * m.x + t * t * b.x)),
                       int(std::lround(u * u * a.y + 2 * u * t * m.y + t * t * b.y))};
        if (out.empty() || out.back().x != p.x || out.back().y != p.y)
            out.push_back(p);
    }
    return out;
}

void Draw(TFrame& f, const std::vector<TPoint>& path, int c) {
    for (auto p : path)
        f.set(p.x, p.y, c);
}

// A pulse at fraction t of the path, with a fading tail behind it.
void Pulse(TFrame& f, const std::vector<TPoint>& path, double t, int ramp) {
    const int n = int(path.size());
    const int head = std::clamp(int(std::lround(t * (n - 1))), 0, n - 1);
    for (int k = 4; k >= 0; --k) {
        const int i = head - k * 2;
        if (i < 0)
            continue;
        const int shade = 15 - k * 3;
        f.set(path[i].x, path[i].y, ramp + shade);
        f.set(path[i].x + 1, path[i].y, ramp + shade);
        if (k == 0) {
            f.set(path[i].x, path[i].y + 1, ramp + 15);
            f.set(path[i].x + 1, path[i].y + 1, ramp + 13);
        }
    }
}

void Text(TFrame& f, int x, int y, const char* const* rows, int c) {
    for (int r = 0; r < 5; ++r)
        for (int i = 0; rows[r][i]; ++i)
            if (rows[r][i] == '#')
                f.set(x + i, y + r, c);
}

constexpr int kFrontL = 14, kFrontR = 88, kFrontT = 50, kFrontB = 82, kDepth = 8;

int PortX(int k) {
    return kFrontL + 5 + k * 9;
}

void DrawExchange(TFrame& f) {
    // shadow on the page
    for (int y = kFrontB + 1; y <= kFrontB + 6; ++y)
        for (int x = kFrontL - 3; x <= kFrontR + kDepth + 3; ++x) {
            const double dx = (x - (kFrontL + kFrontR + kDepth) / 2.0) / 46.0;
            const double dy = (y - (kFrontB + 2)) / 5.0;
            if (dx * dx + dy * dy <= 1)
                f.set(x, y, Grey + (dx * dx + dy * dy < 0.5 ? 9 : 11));
        }
    // top face, lit from the upper left
    for (int k = 1; k <= kDepth; ++k)
        for (int x = kFrontL + k; x <= kFrontR + k; ++x)
            f.set(x, kFrontT - k, Ivory + (k == kDepth ? 15 : 14));
    // right face in shadow
    for (int k = 1; k <= kDepth; ++k)
        for (int y = kFrontT - k; y <= kFrontB - k; ++y)
            f.set(kFrontR + k, y, Ivory + 7 - (k == kDepth ? 1 : 0));
    // front face with a soft vertical fall-off
    for (int y = kFrontT; y <= kFrontB; ++y) {
        const int shade = 13 - (y - kFrontT) * 4 / (kFrontB - kFrontT);
        for (int x = kFrontL; x <= kFrontR; ++x)
            f.set(x, y, Ivory + shade);
    }
    for (int x = kFrontL; x <= kFrontR; ++x) {
        f.set(x, kFrontT, Ivory + 15);
        f.set(x, kFrontB, Ivory + 5);
    }
    for (int y = kFrontT; y <= kFrontB; ++y) {
        f.set(kFrontL, y, Ivory + 14);
        f.set(kFrontR, y, Ivory + 6);
    }
    // name plate
    f.fill(kFrontL + 5, kFrontT + 4, kFrontL + 30, kFrontT + 12, Navy + 4);
    for (int x = kFrontL + 5; x <= kFrontL + 30; ++x)
        f.set(x, kFrontT + 4, Navy + 7);
    static const char* const K[] = {"#..#", "#.#.", "##..", "#.#.", "#..#"};
    static const char* const M[] = {"#...#", "##.##", "#.#.#", "#...#", "#...#"};
    static const char* const Five[] = {"####", "#...", "###.", "...#", "###."};
    static const char* const Zero[] = {".##.", "#..#", "#..#", "#..#", ".##."};
    int tx = kFrontL + 8;
    Text(f, tx, kFrontT + 6, K, Grey + 15);
    Text(f, tx += 5, kFrontT + 6, M, Grey + 15);
    Text(f, tx += 7, kFrontT + 6, Five, Amber + 13);
    Text(f, tx += 5, kFrontT + 6, Zero, Amber + 13);
    // ventilation slots
    for (int s = 0; s < 4; ++s)
        for (int x = kFrontR - 26; x <= kFrontR - 8; ++x)
            f.set(x, kFrontT + 5 + s * 2, Ivory + 8);
    // eight a/b sockets
    for (int k = 0; k < 8; ++k) {
        const int x = PortX(k);
        f.fill(x, kFrontT + 20, x + 6, kFrontT + 26, Grey + 4);
        f.fill(x + 1, kFrontT + 21, x + 5, kFrontT + 25, Grey + 1);
        for (int i = 0; i <= 6; ++i)
            f.set(x + i, kFrontT + 27, Ivory + 15);
    }
}

void DrawNetworkTerminator(TFrame& f, bool lit) {
    f.fill(40, 4, 66, 17, Grey + 12);
    f.fill(41, 5, 66, 5, Grey + 15);
    f.fill(40, 17, 66, 17, Grey + 6);
    f.fill(66, 4, 66, 17, Grey + 7);
    f.fill(44, 9, 55, 10, Grey + 8);
    f.fill(44, 12, 55, 13, Grey + 8);
    f.fill(59, 9, 62, 11, lit ? Amber + 15 : Amber + 2);
    if (lit)
        for (int x = 58; x <= 63; ++x) {
            f.set(x, 8, Amber + 9);
            f.set(x, 12, Amber + 9);
        }
}

TFrame MakeFrame(int frame) {
    TFrame f;
    DrawExchange(f);
    DrawNetworkTerminator(f, frame % 10 < 5);

    // the ISDN line from the terminator down onto the exchange's lid
    const auto line = Curve({53, 18}, {42, 32}, {58, kFrontT - 5});
    Draw(f, line, Grey + 3);
    for (int j = 0; j < 2; ++j)
        Pulse(f, line, ((frame + j * 5) % 10) / 9.0, Amber);

    // the port that a pulse reaches lights up; the ones before it fade out
    const int active = frame / 5;
    for (int k = 0; k < 8; ++k) {
        const int since = (frame - k * 5 + kFrames) % kFrames; // frames since port k lit
        int level = since < 5 ? 15 : std::max(2, 15 - (since - 4) * 2);
        const int x = PortX(k) + 2, y = kFrontT + 16;
        if (level >= 13)
            f.fill(x - 1, y - 1, x + 3, y + 2, Green + 10);
        f.fill(x, y, x + 2, y + 1, Green + level);
    }
    // power lamp
    f.fill(kFrontR - 5, kFrontT + 4, kFrontR - 4, kFrontT + 5, Green + 14);

    // cables from the sockets fanning out below the exchange
    for (int k = 0; k < 8; ++k) {
        const int x = PortX(k) + 3;
        const int end = 5 + k * 95 / 7;
        auto cable = Curve({x, kFrontT + 25}, {x, kFrontB + 14}, {end, kSize - 1});
        Draw(f, cable, Grey + 3);
        if (k == active)
            Pulse(f, cable, (frame % 5 + 1) / 5.0, Green);
    }
    return f;
}

// BI_RLE8, rows bottom-up: runs of three or more, literal runs otherwise.
std::vector<std::uint8_t> EncodeRle8(const TFrame& f) {
    std::vector<std::uint8_t> out;
    for (int y = kSize - 1; y >= 0; --y) {
        const std::uint8_t* row = f.px.data() + y * kSize;
        auto runAt = [&](int i) {
            int n = 1;
            while (i + n < kSize && row[i + n] == row[i] && n < 255)
                ++n;
            return n;
        };
        int i = 0;
        while (i < kSize) {
            const int run = runAt(i);
            if (run >= 3) {
                out.insert(out.end(), {std::uint8_t(run), row[i]});
                i += run;
                continue;
            }
            int j = i;
            while (j < kSize && j - i < 255 && runAt(j) < 3)
                ++j;
            const int n = j - i;
            if (n >= 3) {
                out.insert(out.end(), {0, std::uint8_t(n)});
                out.insert(out.end(), row + i, row + j);
                if (n & 1)
                    out.push_back(0);
            } else {
                for (int k = i; k < j; ++k)
                    out.insert(out.end(), {1, row[k]});
            }
            i = j;
        }
        out.insert(out.end(), {0, std::uint8_t(y == 0 ? 1 : 0)});
    }
    return out;
}

struct TWriter {
    std::vector<std::uint8_t> b;
    void u8(unsigned v) { b.push_back(std::uint8_t(v)); }
    void u16(unsigned v) {
        u8(v & 0xff);
        u8(v >> 8 & 0xff);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    }
    void id(const char* s) { b.insert(b.end(), s, s + 4); }
    std::size_t open(const char* fourcc) { // size patched by close()
        id(fourcc);
        u32(0);
        return b.size();
    }
    void close(std::size_t start) {
        if ((b.size() - start) & 1)
            u8(0);
        const std::uint32_t size = std::uint32_t(b.size() - start);
        for (int i = 0; i < 4; ++i)
            b[start - 4 + i] = std::uint8_t(size >> (8 * i));
    }
};

std::vector<std::uint8_t> MakeAvi() {
    std::vector<std::vector<std::uint8_t>> frames;
    std::size_t largest = 0;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(EncodeRle8(MakeFrame(i)));
        largest = std::max(largest, frames.back().size());
    }
    const auto palette = MakePalette();

    TWriter w;
    const auto riff = w.open("RIFF");
    w.id("AVI ");
    const auto hdrl = w.open("LIST");
    w.id("hdrl");
    const auto avih = w.open("avih");
    w.u32(kPeriodUs);
    w.u32(std::uint32_t(largest * 1000000 / kPeriodUs));
    w.u32(0);
    w.u32(0x10); // has an index
    w.u32(kFrames);
    w.u32(0);
    w.u32(1);
    w.u32(std::uint32_t(largest));
    w.u32(kSize);
    w.u32(kSize);
    for (int i = 0; i < 4; ++i)
        w.u32(0);
    w.close(avih);
    const auto strl = w.open("LIST");
    w.id("strl");
    const auto strh = w.open("strh");
    w.id("vids");
    w.id("mrle");
    w.u32(0);
    w.u16(0);
    w.u16(0);
    w.u32(0);
    w.u32(1);                   // scale
    w.u32(1000000 / kPeriodUs); // rate
    w.u32(0);
    w.u32(kFrames);
    w.u32(std::uint32_t(largest));
    w.u32(0xffffffffu);
    w.u32(0);
    w.u16(0);
    w.u16(0);
    w.u16(kSize);
    w.u16(kSize);
    w.close(strh);
    const auto strf = w.open("strf");
    w.u32(40);
    w.u32(kSize);
    w.u32(kSize); // positive: bottom-up, as RLE8 must be
    w.u16(1);
    w.u16(8);
    w.u32(1); // BI_RLE8
    w.u32(std::uint32_t(largest));
    w.u32(0);
    w.u32(0);
    w.u32(256);
    w.u32(0);
    for (std::uint32_t c : palette) {
        w.u8(c & 0xff);
        w.u8(c >> 8 & 0xff);
        w.u8(c >> 16 & 0xff);
        w.u8(0);
    }
    w.close(strf);
    w.close(strl);
    w.close(hdrl);

    const auto movi = w.open("LIST");
    const std::size_t moviBase = w.b.size();
    w.id("movi");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    for (const auto& f : frames) {
        index.emplace_back(std::uint32_t(w.b.size() - moviBase), std::uint32_t(f.size()));
        const auto chunk = w.open("00dc");
        w.b.insert(w.b.end(), f.begin(), f.end());
        w.close(chunk);
        // the size field holds the data without its pad byte
        const std::uint32_t size = std::uint32_t(f.size());
        for (int i = 0; i < 4; ++i)
            w.b[chunk - 4 + i] = std::uint8_t(size >> (8 * i));
    }
    w.close(movi);
    const auto idx1 = w.open("idx1");
    for (auto [offset, size] : index) {
        w.id("00dc");
        w.u32(0x10); // key frame
        w.u32(offset);
        w.u32(size);
    }
    w.close(idx1);
    w.close(riff);
    return w.b;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: winvarno-clipgen OUTPUT.avi\n");
        return 2;
    }
    const auto bytes = MakeAvi();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 1;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok ? 0 : 1;
}
