#pragma once

#include "core/rules.h"
#include "ui/kit/palette.h"

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QLineEdit;

namespace corvane {

class PaletteLabel;
class VantraButton;
class VantraDropdown;
class VantraToggle;

// The sheet in which one rule is written: kind, pattern, profile and whether
// it is on. "Done" normalises the pattern, validates the rule and hands it
// over; a refusal is shown in red and the sheet stays.
class RuleEditor : public QWidget {
    Q_OBJECT

public:
    RuleEditor(const Rule& rule, const QStringList& profiles, const VantraPalette& palette,
               const QString& browserName, QWidget* parent = nullptr);

    // The working copy, as the fields hold it now.
    const Rule& rule() const { return m_rule; }
    QString error() const { return m_error; }

    VantraDropdown* kindDropdown() const { return m_kind; }
    QLineEdit* patternField() const { return m_pattern; }
    VantraDropdown* profileDropdown() const { return m_profile; }
    VantraToggle* enabledToggle() const { return m_enabled; }
    VantraButton* doneButton() const { return m_done; }
    VantraButton* cancelButton() const { return m_cancel; }
    QAbstractButton* closeButton() const { return m_close; }
    QString patternLabel() const;
    QString hint() const;
    // The "Connect to … from the sidebar" line, shown while no profile is known.
    bool showsConnectLine() const;

    void focusPattern();
    // Runs the commit steps, as Return and "Done" do.
    void done();

    QSize sizeHint() const override;

signals:
    void committed(const corvane::Rule& rule);
    void dismissed();

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void changeEvent(QEvent*) override;

private:
    void updateKind();
    void setError(const QString& error);
    void applyFieldColors();

    Rule m_rule;
    const VantraPalette& m_palette;
    QString m_error;
    VantraDropdown* m_kind;
    PaletteLabel* m_patternLabel;
    QWidget* m_patternBox;
    QLineEdit* m_pattern;
    PaletteLabel* m_hint;
    VantraDropdown* m_profile;
    PaletteLabel* m_connect;
    VantraToggle* m_enabled;
    PaletteLabel* m_errorLabel;
    VantraButton* m_cancel;
    VantraButton* m_done;
    QAbstractButton* m_close;
};

} // namespace corvane
