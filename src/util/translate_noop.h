#pragma once

// Texts of the Qt-free layers that a window shows are marked with this macro so that
// Qt's lupdate collects them; the window translates them where it shows them (context
// "Velquist"). Outside Qt it leaves the text as it is. Wide texts are written as
// L"" QT_TRANSLATE_NOOP("Velquist", "...") because lupdate reads only plain literals.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, text) text
#endif
