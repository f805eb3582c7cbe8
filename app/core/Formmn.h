#pragma once
// A small modal window that shows a two-column list (a number and a description per row) under
// a title row and lets the operator pick one row. GUI thread only.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>

class KSelectMenu;

namespace Ui {
class TFormMenu;
}

class TFormMenu : public QDialog {
    Q_OBJECT

public:
    // model: the list's model (not owned), told about entries that the operator adds.
    TFormMenu(QWidget* owner, KSelectMenu* model);
    ~TFormMenu() override;

    // captions: the window caption, the two column titles and the guide text. names and
    // numbers run in parallel; the row whose number equals `current` becomes the current one,
    // else the first row under the titles stays current.
    void Fill(const QStringList& captions, const QStringList& names, const QStringList& numbers, int current);
    // The index of the chosen entry, or -1 when no entry is current.
    int GetSelectedIndex() const;
    // Asks the operator for a number and a name, hands them to the model and appends a row
    // with them, which becomes the current one. Returns 1.
    int AddItem();

public slots:
    void SpeedButtonAddClick();
    void ButtonOKClick();
    void ButtonCancelClick();
    void StringGridMenuDblClick();

private:
    void SetCell(int column, int row, const QString& text);

    std::unique_ptr<Ui::TFormMenu> ui_;
    KSelectMenu* model_ = nullptr;
};
