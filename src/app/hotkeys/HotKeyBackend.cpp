#include "app/hotkeys/HotKeyBackend.h"

#include <QKeySequence>

std::optional<KeySymbol> keySymbol(Qt::Key key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        // Grabs and triggers name the unshifted letter.
        const char16_t letter = char16_t(u'a' + (key - Qt::Key_A));
        return KeySymbol { quint32(letter), QString(QChar(letter)) };
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return KeySymbol { quint32(key), QString(QChar(char16_t(key))) };
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        const int number = key - Qt::Key_F1 + 1;
        return KeySymbol { quint32(0xffbd + number), QStringLiteral("F%1").arg(number) };
    }
    switch (key) {
    case Qt::Key_Space: return KeySymbol { 0x0020, QStringLiteral("space") };
    case Qt::Key_Return: return KeySymbol { 0xff0d, QStringLiteral("Return") };
    case Qt::Key_Enter: return KeySymbol { 0xff8d, QStringLiteral("KP_Enter") };
    case Qt::Key_Tab: return KeySymbol { 0xff09, QStringLiteral("Tab") };
    case Qt::Key_Escape: return KeySymbol { 0xff1b, QStringLiteral("Escape") };
    case Qt::Key_Backspace: return KeySymbol { 0xff08, QStringLiteral("BackSpace") };
    default: return std::nullopt;
    }
}

std::optional<QString> triggerText(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    const auto symbol = keySymbol(key);
    if (!symbol) {
        return std::nullopt;
    }
    QString text;
    if (modifiers & Qt::ControlModifier) {
        text += QStringLiteral("CTRL+");
    }
    if (modifiers & Qt::AltModifier) {
        text += QStringLiteral("ALT+");
    }
    if (modifiers & Qt::ShiftModifier) {
        text += QStringLiteral("SHIFT+");
    }
    if (modifiers & Qt::MetaModifier) {
        text += QStringLiteral("LOGO+");
    }
    return text + symbol->name;
}

QString combinationText(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    return QKeySequence(QKeyCombination(modifiers, key)).toString(QKeySequence::PortableText);
}
