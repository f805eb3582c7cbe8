#include "Fontsubst.h"

#include <QFont>
#include <QString>
#include <QStringList>

void InstallFontSubstitutes()
{
    // Arial and Cambria have metric aliases in fontconfig (Liberation Sans, Caladea); these
    // do not.
    const QStringList japanese = {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")};
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), japanese);
    QFont::insertSubstitutions(QString::fromUtf8("ＭＳ Ｐゴシック"), japanese);
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"));
}
