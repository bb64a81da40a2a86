#pragma once
// Every message box the program shows: one OK button, the application name
// as caption, plain text. Built as a QMessageBox object (not the static
// helpers) so that tests can find and close it.

#include <QMessageBox>
#include <QString>

class QWidget;

// The application name: the executable's base name.
QString ApplicationName();

// Shows the box modally and waits until it is closed. The owner is used
// only while it is visible; otherwise the box has no owner. A non-empty
// informative text (the cause and what to do) goes under the text.
void ShowMessageBox(QWidget* owner, const QString& text, QMessageBox::Icon icon,
                    const QString& informative = QString());

// While suppressed, no box waits for the operator: its texts go to the
// error stream instead, for a program that is ending with nobody to answer.
void SuppressMessageBoxes(bool suppress);

// Closes the modal boxes open now (message boxes, About, the file dialog),
// innermost first, down to `keep`.
void CloseModalBoxes(const QWidget* keep);

// Object name of every such box.
inline constexpr char kMessageBoxName[] = "rtq_message_box";
