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

// Object name of every such box.
inline constexpr char kMessageBoxName[] = "rtq_message_box";
