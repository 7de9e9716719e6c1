#include "banners.h"

#include "app/model.h"
#include "ui/kit/button_style.h"
#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/page_pieces.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

namespace corvane {

Banners::Kind Banners::choose(const Model& model, bool preview)
{
    if (model.loadFailure() || model.saveError())
        return Kind::problem;
    if (model.previewDefaultBanner() ||
        (!preview && !model.isDefaultBrowser() && !model.defaultIsLinkRouter()))
        return Kind::defaultBrowser;
    if (model.availableUpdate())
        return Kind::update;
    return Kind::none;
}

Banners::Banners(Model& model, const VantraPalette& palette, bool preview, QWidget* parent)
    : QWidget(parent), m_model(model), m_palette(palette), m_preview(preview),
      m_icon(new Icon("exclamationmark.triangle.fill", 16, VantraPalette::orange())),
      m_title(new PaletteLabel(QString(), palette, 13, QFont::DemiBold)),
      m_detail(new PaletteLabel(QString(), palette, 12, QFont::Normal, PaletteLabel::Tone::muted)),
      m_button(new VantraButton(QString(), palette, true, 30)),
      m_cancel(new VantraButton("Cancel", palette, false, 30)), m_progress(new QProgressBar),
      m_inner(new QWidget)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_inner);
    auto* row = new QHBoxLayout(m_inner);
    row->setSpacing(12);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    m_detail->setWordWrap(true);
    m_title->setWordWrap(true);
    text->addWidget(m_title);
    text->addWidget(m_detail);
    // A thin bar under the texts while an update downloads; the status line
    // is said once, as a toast, and never once per percent.
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(4);
    m_progress->setAccessibleName("Download progress");
    text->addSpacing(4);
    text->addWidget(m_progress);
    row->addWidget(m_icon, 0, Qt::AlignVCenter);
    row->addLayout(text, 1);
    row->addWidget(m_cancel, 0, Qt::AlignVCenter);
    row->addWidget(m_button, 0, Qt::AlignVCenter);
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { m_model.cancelUpdate(); });

    connect(m_button, &QAbstractButton::clicked, this, [this] {
        switch (m_shown) {
        case Kind::problem:
            m_model.revealSettings();
            break;
        case Kind::defaultBrowser:
            m_model.setDefault();
            break;
        case Kind::update:
            m_model.installUpdate();
            break;
        case Kind::none:
            break;
        }
    });
    for (auto signal :
         {&Model::loadFailureChanged, &Model::saveErrorChanged, &Model::isDefaultBrowserChanged,
          &Model::defaultIsLinkRouterChanged, &Model::otherDefaultBrowserChanged,
          &Model::availableUpdateChanged, &Model::installingUpdateChanged, &Model::updateProgressChanged})
        connect(&m_model, signal, this, &Banners::refresh);
    refresh();
}

QString Banners::title() const
{
    return m_title->text();
}

QString Banners::detail() const
{
    return m_detail->text();
}

void Banners::refresh()
{
    m_shown = choose(m_model, m_preview);
    setVisible(m_shown != Kind::none);
    auto* row = static_cast<QHBoxLayout*>(m_inner->layout());
    auto* outer = static_cast<QVBoxLayout*>(layout());
    const bool problem = m_shown == Kind::problem;
    m_icon->setVisible(problem);
    m_title->setVisible(!problem);
    m_detail->setFont(UIFont::font(12));
    m_detail->setTone(problem ? PaletteLabel::Tone::ink : PaletteLabel::Tone::muted);
    if (problem) {
        outer->setContentsMargins(0, 0, 0, 0);
        row->setContentsMargins(16, 10, 16, 10);
    } else {
        outer->setContentsMargins(28, 20, 28, 20);
        row->setContentsMargins(18, 14, 18, 14);
    }
    m_button->setEnabled(true);
    const bool downloading = m_shown == Kind::update && m_model.installingUpdate();
    m_cancel->setVisible(downloading);
    m_progress->setVisible(downloading && m_model.updateProgress() >= 0);
    m_progress->setValue(std::max(0, m_model.updateProgress()));
    m_progress->setStyleSheet(
        QString("QProgressBar { border: none; border-radius: 2px; background: %1; }"
                "QProgressBar::chunk { border-radius: 2px; background: %2; }")
            .arg(m_palette.hairline().name(QColor::HexArgb), VantraPalette::blue().name(QColor::HexArgb)));
    switch (m_shown) {
    case Kind::problem:
        m_title->clear();
        m_detail->setText(m_model.loadFailure()
                              ? "Your settings file couldn't be read, so links aren't being routed. Fix or "
                                "restore it, then reopen the app."
                              : m_model.saveError().value_or(QString()));
        m_button->setText("Reveal file");
        m_button->setPrimary(false);
        m_button->setFixedHeight(28);
        m_button->setVisible(m_model.loadFailure());
        break;
    case Kind::defaultBrowser:
        m_title->setText("Links aren't reaching Corvane");
        m_detail->setText(m_model.otherDefaultBrowser()
                              ? *m_model.otherDefaultBrowser() +
                                    " is your default browser, so your rules don't run yet."
                              : "Make it your default browser so your rules run.");
        m_button->setText("Make default");
        m_button->setPrimary(true);
        m_button->setFixedHeight(30);
        m_button->show();
        break;
    case Kind::update: {
        const bool installing = m_model.installingUpdate();
        m_title->setText("Corvane " + m_model.availableUpdate()->version + " is available");
        m_detail->setText(installing
                              ? "Installing. Corvane restarts by itself."
                              : "You have " + m_model.appVersion() + ". Installing takes a few seconds.");
        m_button->setText(installing ? "Installing…" : "Install update");
        m_button->setPrimary(true);
        m_button->setFixedHeight(30);
        m_button->setEnabled(!installing);
        m_button->show();
        break;
    }
    case Kind::none:
        break;
    }
    m_button->setFixedWidth(m_button->sizeHint().width());
    m_cancel->setFixedWidth(m_cancel->sizeHint().width());
    update();
}

void Banners::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        update();
    QWidget::changeEvent(event);
}

void Banners::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (m_shown == Kind::problem) {
        QColor orange = VantraPalette::orange();
        orange.setAlphaF(0.10f);
        // It spans the card, whose top corners are rounded.
        QPainterPath path;
        const QRectF r = rect();
        path.addRoundedRect(r.adjusted(0, 0, 0, 12), 10, 10);
        p.setClipRect(r);
        p.fillPath(path, orange);
    } else if (m_shown != Kind::none) {
        p.setBrush(m_palette.subtle());
        p.drawRoundedRect(QRectF(m_inner->geometry()), 12, 12);
    }
}

} // namespace corvane
