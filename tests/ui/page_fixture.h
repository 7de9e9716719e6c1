#pragma once

#include "app/favicons.h"
#include "app/model_fixture.h"
#include "ui/kit/palette.h"

#include <QVBoxLayout>
#include <QWidget>

#include <memory>

namespace corvane::testing {

// Stands in for the window's card: owns the palette the page draws with and
// switches it the way the window does.
class PageHost : public QWidget {
public:
    PageHost();
    void setDark(bool dark);
    void setPage(QWidget* page);
    const VantraPalette& vantraPalette() const { return m_palette; }
    // The host at device pixel ratio 2, as the previews are written.
    QImage shot();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    VantraPalette m_palette;
    QVBoxLayout* m_layout;
};

// A private model on temporary folders, an icon store that never reaches
// the network, and a host to show a page in.
class PageTest : public ModelTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<Model> model;
    std::unique_ptr<Favicons> icons;
    std::unique_ptr<PageHost> host;
};

Pending pendingLink(const QString& url, std::optional<QString> profile = std::nullopt,
                    const QString& reason = "No matching rule. Pick a profile.", bool attempted = false);
Opened openedLink(const QString& url, const QString& profile, const QString& reason, bool reused = false);

} // namespace corvane::testing
