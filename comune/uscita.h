// Standard output as every program of the suite ends it: written whole and
// closed, or the run fails. Also where the messages go: on standard output,
// as the suite always printed them, unless standard output carries data (a
// table, rows, an image), which then holds nothing else.
#pragma once

#include <cstdio>

// The stream the messages of the run go to: stdout, or stderr once
// messaggi_su_standard_error was called.
std::FILE* messaggi();
// For a run whose standard output is data: every message from here on
// (refusals, reasons, "Memoria insufficiente") goes to standard error.
void messaggi_su_standard_error();

// "Impossibile VERBO il file PATH: REASON" on standard error, errore being
// the errno of the failure: the cause of a failure whose own line, kept as
// the suite always printed it ("File X non trovato"), names none.
void causa_su_standard_error(const char* verbo, const char* path, int errore);

// Whether a write to standard output has failed: a loop that prints many
// lines stops as soon as it is, instead of computing lines no one will get.
// The first time it sees the failure it keeps its cause for the message.
bool uscita_interrotta();

// Gives each of the descriptors 0, 1 and 2 that is closed a stand-in on
// which every read or write fails (EBADF), so that no file the run opens
// takes its number: output meant for the terminal would otherwise land in a
// model or a table being written, and a closed standard input would read one.
void occupa_descrittori_chiusi();

// Flushes and closes standard output. Returns stato, or 1 after "Errore di
// scrittura sullo standard output: REASON" on standard error when any write
// to it failed, so that no run that lost part of its output ends with 0.
int chiudi_uscita(int stato);

// Standard output given over to data: the rows, the predictions, the PNG
// sheet or the page a program writes to "-". The programs print their
// messages with std::printf from many places (the command-line scanner, the
// row and weight readers, "Memoria insufficiente"); rather than thread a
// stream through each of them, descriptor 1 becomes a copy of standard
// error, and the data gets a stream of its own on what descriptor 1 was.
// Returns that stream, or nullptr (after a message) when standard output is
// closed. From here on std::printf goes to standard error.
std::FILE* separa_uscita_dati();
// Flushes and closes the data stream: false, after "Errore di scrittura
// sullo standard output: REASON", when any write to it failed.
bool chiudi_uscita_dati(std::FILE* dati);
