#pragma once

#include "app/records.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace corvane {

class FakePlatform;
class Favicons;
class Model;
class PickerState;

// Draws the window and the picker with sample data into PNG files and quits,
// so screenshots of every page in light and dark come without the user's
// settings, the browser or the network.
class PreviewRenderer : public QObject {
    Q_OBJECT

public:
    // The output folder when the arguments say "--render-previews DIR"; nothing
    // when the switch is absent or is the last argument.
    static std::optional<QString> requestedFolder(int argc, char** argv);
    // The whole run: an offscreen application, the images, the exit code.
    // Call before any Qt object exists.
    static int run(int argc, char** argv, const QString& folder);

    explicit PreviewRenderer(QObject* parent = nullptr);
    ~PreviewRenderer() override;

    // Creates `folder` with its parents, or returns the reason it could not.
    static std::optional<QString> makeFolder(const QString& folder);
    // Sets up every image and writes each a second later.
    void render(const QString& folder);
    // The file names written, in order.
    static QStringList fileNames();
    // The images that could not be written so far.
    const QStringList& failed() const { return m_failed; }

private:
    std::unique_ptr<Model> sampleModel(bool defaultBanner);
    void renderWindow(Model& model, AppTab tab, const QString& folder, bool dark,
                      const QString& prefix = QString());
    void renderPicker(const QString& folder, bool dark);
    void writeLater(QWidget* window, const QString& path);

    QString m_userDefaults;
    std::unique_ptr<FakePlatform> m_platform;
    std::unique_ptr<Favicons> m_favicons;
    std::unique_ptr<Model> m_sample;
    std::vector<std::unique_ptr<Model>> m_notices;
    // Every window made for a render lives until the renderer goes.
    QList<std::shared_ptr<QWidget>> m_windows;
    QStringList m_failed;
};

} // namespace corvane
