// Site icons that a hostile site serves, fetched while links are routed.
#include "app/favicons.h"
#include "app/icon_image.h"

#include "https_server.h"
#include "icon_images.h"
#include "model_fixture.h"

#include <QBuffer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

namespace corvane::testing {
namespace {

QByteArray manyShapes(int count)
{
    QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='5600' height='5600'>";
    for (int i = 0; i < count; ++i)
        svg += "<rect width='100%' height='100%' fill='#" + QByteArray::number(0x100 + i % 0xe00, 16) + "'/>";
    return svg + "</svg>";
}

QByteArray hugePng()
{
    QImage image(5600, 5600, QImage::Format_Mono);
    image.fill(1);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Holds every decoding thread until released, so the test sees what happens
// while images are still being decoded.
class HeldDecoders {
public:
    HeldDecoders()
    {
        for (int i = 0; i < IconImage::decoders().maxThreadCount(); ++i)
            IconImage::decoders().start([this] { m_release.acquire(); });
    }
    ~HeldDecoders() { release(); }
    void release()
    {
        if (!m_released)
            m_release.release(IconImage::decoders().maxThreadCount());
        m_released = true;
    }

private:
    QSemaphore m_release;
    bool m_released = false;
};

using IconBombTest = ModelTest;

TEST_F(IconBombTest, LinksAreRoutedWhileHostileIconsAreDecodedAndTheyEndSmallOrRefused)
{
    HttpsServer server;
    server.route("example.test/apple-touch-icon.png", {200, "image/svg+xml", svg(5600)});
    server.route("other.test/apple-touch-icon.png", {200, "image/svg+xml", manyShapes(30000)});
    server.route("www.other.test/apple-touch-icon.png", {200, "image/png", hugePng()});
    int fetched = 0;
    // The decoders are held from the moment the first fetch starts (the
    // cache is read by them too, before).
    std::unique_ptr<HeldDecoders> held;
    Favicons store(path("icons"),
                   [&](const QString& host, QObject* context, std::function<void(const QImage&)> done) {
                       if (!held)
                           held = std::make_unique<HeldDecoders>();
                       FaviconFetcher::fetch(
                           host, context,
                           [&fetched, done](const QImage& image) {
                               ++fetched;
                               done(image);
                           },
                           server.options());
                   });
    QSignalSpy changed(&store, &Favicons::imageChanged);

    useRunner(openedAnswer);
    auto model = makeModel();
    model->setConfig(withDefault("Work"));
    store.request("example.test");
    store.request("other.test");
    // A bomb has arrived and waits for a decoder.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests.isEmpty(); }, 20000));
    QTest::qWait(300);
    model->receive({"https://a.example/"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->recent().isEmpty(); }, 10000))
        << "the link waited for the icons";
    EXPECT_EQ(fetched, 0);
    EXPECT_FALSE(store.cached("example.test"));
    held->release();

    ASSERT_TRUE(QTest::qWaitFor([&] { return fetched == 2; }, 60000));
    ASSERT_TRUE(store.cached("example.test"));
    EXPECT_EQ(store.cached("example.test")->size(), QSize(IconImage::keptPixels, IconImage::keptPixels));
    // Both of other.test's bombs are refused; its next candidates answer nothing.
    EXPECT_FALSE(store.cached("other.test"));
    EXPECT_TRUE(server.requests.contains("www.other.test/apple-touch-icon.png"));
    EXPECT_EQ(changed.count(), 1);
    // What is kept on disk is the scaled icon, not the site's file.
    EXPECT_EQ(QImage(path("icons/example.test.icon")).size(),
              QSize(IconImage::keptPixels, IconImage::keptPixels));
    EXPECT_EQ(QDir(path("icons")).entryList(QDir::Files), QStringList{"example.test.icon"});
}

} // namespace
} // namespace corvane::testing
