// The cover encoder on a 1000 × 1000 JPEG cover: decode, shrink to 512, encode
// at quality 70, Base64. It runs on the main thread once per song change.
#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>

#include "compose/JpegDataUrl.h"

namespace {

// Gradients with grain, so the JPEG holds about as much detail as a photo cover.
QByteArray photoLikeCover()
{
    QImage image(1000, 1000, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(noise.bounded(40));
            line[x] = qRgb((x / 4 + grain) % 256, (y / 4 + grain) % 256, ((x + y) / 8 + grain) % 256);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg", 90);
    return bytes;
}

void BM_JpegDataUrl1000(benchmark::State& state)
{
    const QByteArray cover = photoLikeCover();
    for (auto _ : state)
        benchmark::DoNotOptimize(jpegDataURL(cover, 512));
    state.counters["coverBytes"] = double(cover.size());
}
BENCHMARK(BM_JpegDataUrl1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    // The image format plugins (JPEG among them) are found through the application.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
