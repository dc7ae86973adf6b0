#pragma once
// The box in which an exception that leaves a command is shown: the exception's message,
// captioned with the application title, stop icon, OK button.
#include <exception>
#include <string>

void ShowErrorBox(const std::string& message);
void ShowException(const std::exception& e);
