#pragma once

class QCoreApplication;

// Puts the program's texts, Qt's own (standard buttons, command-line help)
// and the pictures with words into the language of the system's locale:
// Chinese for any Chinese locale, English (the texts' source language) for
// every other. Called once at start, before the first text is made.
void installTranslations(QCoreApplication &app);
