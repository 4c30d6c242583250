// The body of the updater programs' main: the application, the "--version" and "--icon FILE"
// answers, and the window for the program's product.
#pragma once

struct Product;

int RunUpdaterWindow(int argc, char** argv, const char* programName, const Product& product);
