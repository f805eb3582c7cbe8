#pragma once
// The model behind the list-choice window: it makes the list, is asked for a choice, and takes
// an entry that the operator types in. The USB port picker is one such model.

#include <QString>
#include <QStringList>

class KSelectMenu {
public:
    virtual ~KSelectMenu() = default;

    // port: in the current number, out the chosen one (-1 when nothing was chosen); true when
    // a choice was made.
    virtual bool Select(int& port) = 0;
    // An entry typed in by the operator: its number text and its name text.
    virtual void AddItem(const QString& number, const QString& name) = 0;
    // Fills the two parallel lists: the entry texts and their number texts.
    virtual void MakeList(QStringList& entries, QStringList& numbers) = 0;
};
