#include "links_page.h"

#include "app/model.h"
#include "page_card.h"
#include "pending_row.h"
#include "platform/platform.h"
#include "recent_row.h"
#include "ui/kit/button_style.h"
#include "ui/kit/fonts.h"
#include "ui/kit/overlay_scroll.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/site_icon.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace corvane {

namespace {

PaletteLabel* heading(const QString& text, const VantraPalette& palette)
{
    return new PaletteLabel(text, palette, 15, QFont::DemiBold);
}

// Replaces a rebuilt block in its layout. The old one may hold the button
// whose click caused the rebuild, so it is deleted once that click is over.
void replaceBlock(QVBoxLayout* layout, QWidget*& block, QWidget* fresh)
{
    if (block) {
        const int index = layout->indexOf(block);
        layout->insertWidget(index, fresh);
        layout->removeWidget(block);
        block->hide();
        block->deleteLater();
    } else {
        layout->addWidget(fresh);
    }
    // Shown now, not on the layout's next turn, so the page never shows
    // neither the old nor the new block.
    fresh->show();
    block = fresh;
}

QWidget* hairline(const VantraPalette& palette)
{
    return sectionDivider(palette);
}

} // namespace

LinksPage::LinksPage(Model& model, const VantraPalette& palette, QWidget* parent)
    : QWidget(parent), m_model(model), m_palette(palette), m_scroll(new QScrollArea),
      m_rebuild(new QTimer(this))
{
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(pageHeader("Links", "Test where a link goes. Links that need a profile wait here.",
                               nullptr, palette));

    auto* content = new QWidget;
    content->setObjectName("linksContent");
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(28, 0, 28, 24);
    sections->setSpacing(32);
    sections->addWidget(buildTestSection());
    sections->addWidget(buildWaitingSection());
    sections->addWidget(buildRecentSection());
    sections->addStretch(1);

    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(content);
    m_scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    overlayScrollers(m_scroll, palette);
    page->addWidget(m_scroll, 1);

    connect(&model, &Model::testURLChanged, this, [this] {
        updateField();
        m_model.test();
    });
    // A rule edited elsewhere changes where the typed link goes.
    connect(&model, &Model::configChanged, this, [this] { m_model.test(); });
    connect(&model, &Model::previewChanged, this, &LinksPage::updateResult);
    connect(&model, &Model::isRoutingChanged, this, &LinksPage::updateRouting);
    // The model announces a batch of links one link at a time; the lists are
    // rebuilt once the batch is in, not once per link.
    m_rebuild->setSingleShot(true);
    m_rebuild->setInterval(0);
    connect(m_rebuild, &QTimer::timeout, this, &LinksPage::rebuildLists);
    connect(&model, &Model::pendingChanged, this, [this] { scheduleRebuild(m_pendingStale); });
    connect(&model, &Model::profilesChanged, this, [this] { scheduleRebuild(m_pendingStale); });
    connect(&model, &Model::recentChanged, this, [this] { scheduleRebuild(m_recentStale); });
    // The button and the messages name the browser.
    connect(&model, &Model::targetBrowserChanged, this, [this] {
        m_model.test();
        updateResult();
        scheduleRebuild(m_pendingStale);
    });

    updateField();
    // A link typed before the page existed still gets its result.
    m_model.test();
    updateResult();
    rebuildPending();
    rebuildRecent();
}

bool LinksPage::canOpenTest() const
{
    const auto& preview = m_model.preview();
    return preview && !preview->failed && !m_model.isRouting();
}

QString LinksPage::resultTitle() const
{
    return m_resultTitle->text();
}

QString LinksPage::resultDetail() const
{
    return m_resultDetail->text();
}

QWidget* LinksPage::buildTestSection()
{
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(heading("Test a link", m_palette));
    column->addSpacing(10);

    auto* input = new PageCard(m_palette);
    input->setFixedHeight(44);
    auto* inputRow = new QHBoxLayout;
    inputRow->setContentsMargins(13, 0, 13, 0);
    inputRow->setSpacing(10);
    inputRow->addWidget(new ToneIcon("link", 15, m_palette, ToneIcon::faint), 0, Qt::AlignVCenter);
    m_field = new QLineEdit;
    m_field->setObjectName("testField");
    m_field->setFrame(false);
    m_field->setFont(UIFont::font(14));
    m_field->setPlaceholderText(QString("Type or paste a link, like ") + exampleHost);
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    // The row draws the field's background; the text colours still follow the window.
    QPalette fieldPalette;
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    m_field->setPalette(fieldPalette);
    inputRow->addWidget(m_field, 1);
    m_clear = new IconButton("circle-x", 15, m_palette);
    m_clear->setObjectName("clearLink");
    m_clear->setAccessibleName("Clear link");
    m_clear->setToolTip("Clear link");
    inputRow->addWidget(m_clear, 0, Qt::AlignVCenter);
    input->rows()->addLayout(inputRow);
    column->addWidget(input);

    connect(m_field, &QLineEdit::textEdited, this, [this](const QString& text) { m_model.setTestURL(text); });
    connect(m_field, &QLineEdit::returnPressed, this, &LinksPage::submit);
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_model.setTestURL(QString()); });

    m_result = new PageCard(m_palette);
    m_result->setObjectName("testResult");
    auto* resultRow = new QHBoxLayout;
    resultRow->setContentsMargins(15, 15, 15, 15);
    resultRow->setSpacing(12);
    m_resultIcon = new QWidget;
    m_resultIcon->setFixedSize(28, 28);
    m_siteIcon = new SiteIcon(QString(), m_palette, 28, m_resultIcon);
    m_siteIcon->setGeometry(0, 0, 28, 28);
    m_failIcon = new ToneIcon(
        "exclamationmark.circle", 18, m_palette, [](const VantraPalette&) { return VantraPalette::orange(); },
        m_resultIcon);
    m_failIcon->setObjectName("failIcon");
    m_failIcon->setGeometry(5, 5, 18, 18);
    resultRow->addWidget(m_resultIcon, 0, Qt::AlignVCenter);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(3);
    m_resultTitle = new PaletteLabel(QString(), m_palette, 14, QFont::DemiBold);
    m_resultTitle->setObjectName("resultTitle");
    m_resultDetail = new PaletteLabel(QString(), m_palette, 12, QFont::Normal, PaletteLabel::Tone::muted);
    m_resultDetail->setObjectName("resultDetail");
    m_resultDetail->setWordWrap(true);
    lines->addWidget(m_resultTitle);
    lines->addWidget(m_resultDetail);
    resultRow->addLayout(lines, 1);
    m_openTest = new VantraButton(QString(), m_palette, true, 32);
    m_openTest->setObjectName("openTest");
    connect(m_openTest, &QAbstractButton::clicked, this, [this] { m_model.openTest(); });
    resultRow->addWidget(m_openTest, 0, Qt::AlignVCenter);
    m_result->rows()->addLayout(resultRow);
    column->addSpacing(12);
    column->addWidget(m_result);
    return section;
}

QWidget* LinksPage::buildWaitingSection()
{
    auto* section = new QWidget;
    m_waitingLayout = new QVBoxLayout(section);
    m_waitingLayout->setContentsMargins(0, 0, 0, 0);
    return section;
}

QWidget* LinksPage::buildRecentSection()
{
    m_recentSection = new QWidget;
    m_recentLayout = new QVBoxLayout(m_recentSection);
    m_recentLayout->setContentsMargins(0, 0, 0, 0);
    return m_recentSection;
}

void LinksPage::updateField()
{
    // Only a change from elsewhere (clear, open) is copied in, so typing
    // keeps its cursor and selection.
    if (m_field->text() != m_model.testURL())
        m_field->setText(m_model.testURL());
    m_clear->setVisible(!m_model.testURL().isEmpty());
}

void LinksPage::updateResult()
{
    const auto& preview = m_model.preview();
    m_result->setVisible(preview.has_value());
    if (!preview)
        return;
    m_siteIcon->setVisible(!preview->failed);
    m_failIcon->setVisible(preview->failed);
    if (preview->failed) {
        m_resultTitle->setText("This isn't a web link");
        m_resultDetail->setText(QString("Check the spelling, like ") + exampleHost + ".");
    } else if (preview->profile) {
        m_siteIcon->setHost(m_model.testHost());
        m_resultTitle->setText("Opens in " + *preview->profile);
        m_resultDetail->setText(preview->detail);
    } else {
        m_siteIcon->setHost(m_model.testHost());
        m_resultTitle->setText("No rule matches");
        m_resultDetail->setText("You'll be asked to pick a profile.");
    }
    m_openTest->setText(preview->profile ? "Open in " + m_model.targetBrowser().displayName
                                         : QStringLiteral("Pick a profile"));
    m_openTest->setFixedSize(m_openTest->sizeHint());
    m_openTest->setVisible(canOpenTest());
}

void LinksPage::updateRouting()
{
    updateResult();
    for (PendingRow* row : m_pendingRows)
        row->controls()->setEnabled(!m_model.isRouting());
}

void LinksPage::submit()
{
    if (canOpenTest())
        m_model.openTest();
}

void LinksPage::scheduleRebuild(bool& stale)
{
    stale = true;
    m_rebuild->start();
}

void LinksPage::rebuildLists()
{
    m_rebuild->stop();
    if (std::exchange(m_pendingStale, false))
        rebuildPending();
    if (std::exchange(m_recentStale, false))
        rebuildRecent();
}

void LinksPage::rebuildPending()
{
    const QList<Pending>& pending = m_model.pending();
    auto* body = new QWidget;
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(heading("Waiting for a profile", m_palette));
    CountBadge* badge = nullptr;
    if (!pending.isEmpty()) {
        badge = new CountBadge(int(pending.size()));
        header->addWidget(badge, 0, Qt::AlignVCenter);
    }
    header->addStretch(1);
    column->addLayout(header);
    column->addSpacing(10);

    QList<PendingRow*> rows;
    if (pending.isEmpty()) {
        auto* empty = new PageCard(m_palette);
        empty->setObjectName("nothingWaiting");
        auto* line = new QHBoxLayout;
        line->setContentsMargins(15, 15, 15, 15);
        line->setSpacing(10);
        line->addWidget(new ToneIcon("checkmark.circle", 15, m_palette, ToneIcon::faint), 0,
                        Qt::AlignVCenter);
        line->addWidget(new PaletteLabel("Nothing waiting. Links with no matching rule show up here.",
                                         m_palette, 13, QFont::Normal, PaletteLabel::Tone::ink),
                        1);
        empty->rows()->addLayout(line);
        column->addWidget(empty);
    } else {
        const QString browser = m_model.targetBrowser().displayName;
        auto* note =
            new PaletteLabel("They open in order, so the first one needs a profile before the rest. If " +
                                 browser + " didn't answer, check it before retrying.",
                             m_palette, 12, QFont::Normal, PaletteLabel::Tone::muted);
        note->setObjectName("waitingNote");
        note->setWordWrap(true);
        column->addWidget(note);
        column->addSpacing(10);
        auto* card = new PageCard(m_palette);
        for (const Pending& link : pending) {
            if (!rows.isEmpty())
                card->rows()->addWidget(hairline(m_palette));
            auto* row = new PendingRow(link, m_model, m_palette);
            connect(row, &PendingRow::createRule, this, &LinksPage::createRule);
            card->rows()->addWidget(row);
            rows.append(row);
        }
        column->addWidget(card);
    }
    replaceBlock(m_waitingLayout, m_waitingBody, body);
    m_pendingRows = rows;
    m_badge = badge;
}

void LinksPage::rebuildRecent()
{
    const QList<Opened>& recent = m_model.recent();
    m_recentSection->setVisible(!recent.isEmpty());
    auto* body = new QWidget;
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    QList<RecentRow*> rows;
    if (!recent.isEmpty()) {
        auto* header = new QHBoxLayout;
        header->addWidget(heading("Opened recently", m_palette));
        header->addStretch(1);
        header->addWidget(new PaletteLabel("Cleared when Corvane quits", m_palette, 11, QFont::Normal,
                                           PaletteLabel::Tone::muted),
                          0, Qt::AlignVCenter);
        column->addLayout(header);
        auto* card = new PageCard(m_palette);
        for (const Opened& link : recent) {
            if (!rows.isEmpty())
                card->rows()->addWidget(hairline(m_palette));
            auto* row = new RecentRow(link, m_palette);
            connect(row, &RecentRow::createRule, this, &LinksPage::createRule);
            card->rows()->addWidget(row);
            rows.append(row);
        }
        column->addWidget(card);
    }
    replaceBlock(m_recentLayout, m_recentBody, body);
    m_recentRows = rows;
}

} // namespace corvane
