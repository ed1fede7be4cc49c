#pragma once

class KorvanDriver;

// Reads commands from standard input and calls the driver for each.
int RunConsole(KorvanDriver& driver);
