#include "preview_renderer.h"

#include "app/favicons.h"
#include "app/model.h"
#include "core/router.h"
#include "platform/fake/fake_platform.h"
#include "ui/picker/picker_view.h"
#include "ui/window/content_view.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include <cstdio>

namespace corvane {

namespace {

constexpr int settleMs = 1000; // icons from the cache and first layouts land
constexpr int quitMs = 4000;
constexpr double pixelRatio = 2;
constexpr QSize windowSize{1040, 760};

Rule sampleRule(MatchKind kind, const char* pattern, const char* profile, bool enabled = true)
{
    return Rule::make(kind, Router::normalizePattern(pattern, kind), profile, enabled);
}

Configuration sampleConfiguration()
{
    Configuration config;
    config.rules = {
        sampleRule(MatchKind::domain, "github.com", "Work"),
        sampleRule(MatchKind::exactHost, "docs.google.com", "Work"),
        sampleRule(MatchKind::urlPrefix, "https://www.figma.com/files/team/", "Work"),
        sampleRule(MatchKind::domain, "linear.app", "Work"),
        sampleRule(MatchKind::domain, "notion.so", "Work"),
        sampleRule(MatchKind::exactHost, "app.slack.com", "Work"),
        sampleRule(MatchKind::domain, "reddit.com", "Personal"),
        sampleRule(MatchKind::domain, "youtube.com", "Personal"),
        sampleRule(MatchKind::urlPrefix, "https://news.ycombinator.com/item", "Personal"),
        sampleRule(MatchKind::domain, "spotify.com", "Personal", false),
        sampleRule(MatchKind::exactHost, "calendar.google.com", "Work"),
        sampleRule(MatchKind::domain, "zoom.us", "Work"),
    };
    return config;
}

const QStringList sampleProfiles{"Work", "Personal"};
const char* const sampleDocument = "https://www.dropbox.com/scl/fi/q7x2m/roadmap-2027.pdf";

Url url(const char* text)
{
    return *Url::parse(text);
}

QString ruleReason(const Configuration& config, int position)
{
    return QString("Rule %1: %2")
        .arg(position)
        .arg(QString::fromStdString(config.rules[position - 1].pattern));
}

// Draws a window as it looks on a screen of twice the density.
QImage snapshot(QWidget* window)
{
    QImage image(window->size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::transparent);
    // Only what the window paints itself: its rounded corners stay clear.
    window->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The picker's card on a plain backdrop, padded so its corners show.
class PickerBackdrop : public QWidget {
public:
    PickerBackdrop(QWidget* card, bool dark)
        : QWidget(nullptr, Qt::FramelessWindowHint),
          m_color(dark ? QColor(42, 42, 42) : QColor(217, 214, 207))
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(24, 24, 24, 24);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(card);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_color); }

private:
    QColor m_color;
};

} // namespace

std::optional<QString> PreviewRenderer::requestedFolder(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--render-previews") == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    return std::nullopt;
}

int PreviewRenderer::run(int argc, char** argv, const QString& folder)
{
    if (const std::optional<QString> error = makeFolder(folder)) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 1;
    }
    // Nothing flashes on the screen and no display is needed, whatever the
    // session is.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Built from the program name alone: the folder is never read as an
    // option of Qt's.
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    QApplication app(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    PreviewRenderer renderer;
    renderer.render(folder);
    QTimer::singleShot(quitMs, &app, &QCoreApplication::quit);
    app.exec();
    // A missing image must not pass for a complete set.
    for (const QString& path : renderer.failed())
        std::fprintf(stderr, "Cannot write the image %s\n", qPrintable(path));
    return renderer.failed().isEmpty() ? 0 : 1;
}

PreviewRenderer::PreviewRenderer(QObject* parent) : QObject(parent)
{
    // The user's preferences are read as the application reads them, from a
    // copy, so nothing a view does can write to the real file.
    static QTemporaryDir scratch;
    m_userDefaults = scratch.filePath("corvane.conf");
    QFile::remove(m_userDefaults);
    QFile::copy(ModelEnvironment::standardUserDefaultsPath(), m_userDefaults);
    QFile::setPermissions(m_userDefaults, QFile::ReadOwner | QFile::WriteOwner);

    m_platform = std::make_unique<FakePlatform>();
    m_platform->running = false;
    // Icons the cache already holds show; nothing is fetched.
    m_favicons = std::make_unique<Favicons>(Favicons::standardFolder(), Favicons::Fetch{}, true);
    Favicons::install(m_favicons.get());
}

PreviewRenderer::~PreviewRenderer()
{
    m_windows.clear();
    m_notices.clear();
    m_sample.reset();
    Favicons::install(nullptr);
}

std::optional<QString> PreviewRenderer::makeFolder(const QString& folder)
{
    std::error_code error;
    const std::filesystem::path path = folder.toStdString();
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error)
        return std::nullopt;
    return QString("Cannot create the folder %1: %2").arg(folder, QString::fromStdString(error.message()));
}

QStringList PreviewRenderer::fileNames()
{
    return {"frame-light-rules.png", "frame-light-links.png", "frame-light-settings.png",
            "solid-dark-rules.png",  "solid-dark-links.png",  "solid-dark-settings.png",
            "picker-light.png",      "picker-dark.png",       "notice-light.png",
            "notice-dark.png"};
}

std::unique_ptr<Model> PreviewRenderer::sampleModel(bool defaultBanner)
{
    ModelEnvironment env;
    env.settingsPath.clear(); // never the user's settings file
    env.userDefaultsPath = m_userDefaults;
    env.platform = m_platform.get();
    env.autosave = false;
    env.resolver = [](const Url& link, QObject*, std::function<void(const Url&)> done) { done(link); };
    auto model = std::make_unique<Model>(std::move(env));
    model->setAutosave(false);
    model->setConfig(sampleConfiguration());
    model->setProfiles(sampleProfiles);
    model->setPreviewDefaultBanner(defaultBanner);
    if (defaultBanner)
        return model;

    const Configuration& config = model->config();
    model->setTestURL("https://zoom.us/j/5550142876?pwd=preview");
    model->test();
    model->setRecent({
        Opened{Uuid::random(), url("https://github.com/corvane/corvane/pull/214"), "Work",
               ruleReason(config, 1)},
        Opened{Uuid::random(), url("https://www.theguardian.com/science/2026/dec/09/comet-flyby"), "Personal",
               "Default profile"},
        Opened{Uuid::random(), url("https://zoom.us/j/5550198321"), "Work", ruleReason(config, 12)},
    });
    model->setPending({Pending{Uuid::random(), url(sampleDocument), std::nullopt,
                               "No matching rule. Pick a profile.", false, {}}});
    return model;
}

void PreviewRenderer::render(const QString& folder)
{
    m_sample = sampleModel(false);
    for (const bool dark : {false, true})
        for (const AppTab tab : {AppTab::rules, AppTab::links, AppTab::settings})
            renderWindow(*m_sample, tab, folder, dark);
    for (const bool dark : {false, true})
        renderPicker(folder, dark);
    for (const bool dark : {false, true}) {
        m_notices.push_back(sampleModel(true));
        renderWindow(*m_notices.back(), AppTab::rules, folder, dark, "notice");
    }
}

void PreviewRenderer::renderWindow(Model& model, AppTab tab, const QString& folder, bool dark,
                                   const QString& prefix)
{
    auto* view = new ContentView(model, dark ? ColorScheme::dark : ColorScheme::light);
    m_windows << std::shared_ptr<QWidget>(view);
    view->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    view->setAttribute(Qt::WA_TranslucentBackground);
    view->state().setTab(tab);
    view->resize(windowSize);
    view->show();
    QString name = prefix;
    if (name.isEmpty()) {
        static const char* const titles[] = {"rules", "links", "settings"};
        name = QString(dark ? "solid-dark-" : "frame-light-") + titles[int(tab)];
    } else {
        name += dark ? "-dark" : "-light";
    }
    writeLater(view, QDir(folder).filePath(name + ".png"));
}

void PreviewRenderer::renderPicker(const QString& folder, bool dark)
{
    auto* state = new PickerState(this);
    const QString host = QString::fromStdString(Router::ruleHost(url(sampleDocument)));
    auto* card =
        new PickerView(host, sampleProfiles, m_platform->browser.displayName, state, VantraPalette{dark}, {});
    auto* window = new PickerBackdrop(card, dark);
    m_windows << std::shared_ptr<QWidget>(window);
    window->adjustSize();
    window->show();
    writeLater(window, QDir(folder).filePath(dark ? "picker-dark.png" : "picker-light.png"));
}

void PreviewRenderer::writeLater(QWidget* window, const QString& path)
{
    QTimer::singleShot(settleMs, window, [this, window, path] {
        // A failed write leaves that one file missing; the others still come.
        if (!snapshot(window).save(path, "PNG"))
            m_failed << path;
    });
}

} // namespace corvane
