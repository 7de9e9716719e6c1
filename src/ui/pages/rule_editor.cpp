#include "rule_editor.h"

#include "core/route_error.h"
#include "core/router.h"
#include "ui/kit/button_style.h"
#include "ui/kit/dropdown.h"
#include "ui/kit/fonts.h"
#include "ui/kit/icon.h"
#include "ui/kit/page_pieces.h"
#include "ui/kit/toggle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSet>
#include <QVBoxLayout>

namespace corvane {

namespace {

constexpr int sheetWidth = 430;
constexpr int fieldWidth = 378;
constexpr auto exampleDomain = "example.com";
constexpr auto exampleHost = "docs.example.com";

class FieldBox : public QWidget {
public:
    explicit FieldBox(const VantraPalette& palette) : m_palette(palette) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m_palette.subtle());
        p.drawRoundedRect(QRectF(rect()), 8, 8);
    }

private:
    const VantraPalette& m_palette;
};

class CloseButton : public QAbstractButton {
public:
    explicit CloseButton(const VantraPalette& palette) : m_palette(palette)
    {
        setFixedSize(24, 24);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setAccessibleName("Close editor");
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (isDown())
            p.setOpacity(0.6);
        Icons::paint(p, QRectF(3, 3, 18, 18), "xmark", m_palette.muted());
    }

private:
    const VantraPalette& m_palette;
};

VantraDropdown::Options kindOptions()
{
    VantraDropdown::Options options;
    for (MatchKind kind : allMatchKinds) {
        const std::string_view label = matchKindLabel(kind);
        options.append(
            {QVariant::fromValue(int(kind)), QString::fromUtf8(label.data(), qsizetype(label.size()))});
    }
    return options;
}

// The empty choice first, then the reported names and the rule's own, once
// each, in plain string order.
VantraDropdown::Options profileOptions(const QStringList& profiles, const QString& own)
{
    QStringList names = profiles;
    names << own;
    names.removeAll(QString());
    names.removeDuplicates();
    std::sort(names.begin(), names.end());
    VantraDropdown::Options options{{QString(), "Choose a profile"}};
    for (const QString& name : names)
        options.append({name, name});
    return options;
}

} // namespace

RuleEditor::RuleEditor(const Rule& rule, const QStringList& profiles, const VantraPalette& palette,
                       const QString& browserName, QWidget* parent)
    : QWidget(parent), m_rule(rule), m_palette(palette)
{
    setAccessibleName("Routing rule");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(26, 26, 26, 26);
    column->setSpacing(20);

    auto* header = new QHBoxLayout;
    header->addWidget(new PaletteLabel("Routing rule", palette, 19, QFont::DemiBold));
    header->addStretch();
    m_close = new CloseButton(palette);
    header->addWidget(m_close);
    column->addLayout(header);

    const auto section = [&](PaletteLabel* label, QWidget* field) {
        auto* box = new QVBoxLayout;
        box->setSpacing(8);
        box->addWidget(label);
        box->addWidget(field);
        column->addLayout(box);
        return box;
    };

    m_kind = new VantraDropdown(palette, kindOptions(), int(rule.kind), fieldWidth);
    m_kind->setAccessibleName("Match type");
    section(new PaletteLabel("Match type", palette, 12, QFont::Medium), m_kind);

    m_patternLabel = new PaletteLabel(QString(), palette, 12, QFont::Medium);
    m_patternBox = new FieldBox(palette);
    m_patternBox->setFixedHeight(34);
    auto* fieldRow = new QHBoxLayout(m_patternBox);
    fieldRow->setContentsMargins(11, 0, 11, 0);
    m_pattern = new QLineEdit(QString::fromStdString(rule.pattern));
    m_pattern->setFrame(false);
    m_pattern->setFont(UIFont::font(13));
    fieldRow->addWidget(m_pattern);
    QVBoxLayout* patternSection = section(m_patternLabel, m_patternBox);
    m_hint = new PaletteLabel(QString(), palette, 11, QFont::Normal, PaletteLabel::Tone::muted);
    m_hint->setWordWrap(true);
    patternSection->addWidget(m_hint);

    m_profile = new VantraDropdown(palette, profileOptions(profiles, QString::fromStdString(rule.profile)),
                                   QString::fromStdString(rule.profile), fieldWidth);
    m_profile->setAccessibleName("Open in profile");
    QVBoxLayout* profileSection =
        section(new PaletteLabel("Open in profile", palette, 12, QFont::Medium), m_profile);
    m_connect = new PaletteLabel("Connect to " + browserName + " from the sidebar to list your profiles.",
                                 palette, 11, QFont::Normal, PaletteLabel::Tone::muted);
    m_connect->setVisible(profiles.isEmpty());
    profileSection->addWidget(m_connect);

    auto* enableRow = new QHBoxLayout;
    enableRow->addWidget(new PaletteLabel("Enable this rule", palette, 13));
    enableRow->addStretch();
    m_enabled = new VantraToggle(palette, "Enable this rule");
    m_enabled->setOn(rule.enabled);
    enableRow->addWidget(m_enabled);
    column->addLayout(enableRow);

    m_errorLabel = new PaletteLabel(QString(), palette, 12);
    m_errorLabel->setObjectName("error");
    m_errorLabel->setCustomColor(VantraPalette::red());
    m_errorLabel->setWordWrap(true);
    m_errorLabel->hide();
    column->addWidget(m_errorLabel);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch();
    m_cancel = new VantraButton("Cancel", palette, false, 32);
    m_done = new VantraButton("Done", palette, true, 32);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_done);
    column->addLayout(buttons);

    connect(m_kind, &VantraDropdown::selectionChanged, this, [this](const QVariant& value) {
        m_rule.kind = MatchKind(value.toInt());
        updateKind();
    });
    connect(m_pattern, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_rule.pattern = text.toStdString();
        setError(QString());
    });
    connect(m_profile, &VantraDropdown::selectionChanged, this,
            [this](const QVariant& value) { m_rule.profile = value.toString().toStdString(); });
    connect(m_enabled, &QAbstractButton::toggled, this, [this](bool on) { m_rule.enabled = on; });
    connect(m_cancel, &QAbstractButton::clicked, this, &RuleEditor::dismissed);
    connect(m_close, &QAbstractButton::clicked, this, &RuleEditor::dismissed);
    connect(m_done, &QAbstractButton::clicked, this, &RuleEditor::done);
    // Return in the pattern field reaches keyPressEvent() below: the field
    // reports it and passes the key on, so connecting returnPressed as well
    // would commit twice.
    updateKind();
    applyFieldColors();
    setFixedWidth(sheetWidth);
}

QSize RuleEditor::sizeHint() const
{
    // The wrapping lines (hint, message) take the height they need at the
    // sheet's own width, not at the layout's narrower preferred width.
    QLayout* column = layout();
    return QSize(sheetWidth, column->hasHeightForWidth() ? column->totalHeightForWidth(sheetWidth)
                                                         : column->sizeHint().height());
}

QString RuleEditor::patternLabel() const
{
    return m_patternLabel->text();
}

QString RuleEditor::hint() const
{
    return m_hint->text();
}

bool RuleEditor::showsConnectLine() const
{
    return m_connect->isVisibleTo(this);
}

void RuleEditor::updateKind()
{
    const QString domain = exampleDomain;
    switch (m_rule.kind) {
    case MatchKind::domain:
        m_patternLabel->setText("Domain");
        m_pattern->setPlaceholderText(domain);
        m_hint->setText("Just the domain, like " + domain + ". No https:// needed. Subdomains are included.");
        break;
    case MatchKind::exactHost:
        m_patternLabel->setText("Domain");
        m_pattern->setPlaceholderText(domain);
        m_hint->setText("Just the hostname, like " + QString(exampleHost) + ". No https:// needed.");
        break;
    case MatchKind::urlPrefix:
        m_patternLabel->setText("URL path");
        m_pattern->setPlaceholderText(domain + "/work");
        m_hint->setText("A link and its path, like " + domain + "/work. https:// is added for you.");
        break;
    }
    m_pattern->setAccessibleName(m_patternLabel->text());
}

void RuleEditor::setError(const QString& error)
{
    m_error = error;
    m_errorLabel->setText(error);
    m_errorLabel->setVisible(!error.isEmpty());
    if (parentWidget())
        resize(sizeHint());
}

void RuleEditor::done()
{
    Rule rule = m_rule;
    rule.pattern = Router::normalizePattern(rule.pattern, rule.kind);
    {
        // The field shows what will be stored; the edit is ours, not the user's.
        const QSignalBlocker block(m_pattern);
        m_pattern->setText(QString::fromStdString(rule.pattern));
    }
    m_rule = rule;
    try {
        Router::validate(rule);
    } catch (const RouteError& error) {
        setError(QString::fromStdString(error.message()));
        return;
    }
    emit committed(rule);
}

void RuleEditor::focusPattern()
{
    m_pattern->setFocus();
}

void RuleEditor::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit dismissed();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        done();
        return;
    }
    QWidget::keyPressEvent(event);
}

void RuleEditor::applyFieldColors()
{
    QPalette p = m_pattern->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::Text, m_palette.ink());
    p.setColor(QPalette::PlaceholderText, m_palette.faint());
    m_pattern->setPalette(p);
}

void RuleEditor::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        applyFieldColors();
    QWidget::changeEvent(event);
}

void RuleEditor::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A soft shadow under the sheet, then the sheet.
    p.setPen(QPen(m_palette.hairline(), 1));
    p.setBrush(m_palette.card());
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

} // namespace corvane
