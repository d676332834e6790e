#pragma once

// The benchmark's harness: what every group of scenarios shares. Each group measures the program
// against a baseline in the same run and adds its rows; main prints them and fails on a short one.
#include "appfolder.h"
#include "bookcase.h"
#include "bookindex.h"
#include "commands.h"
#include "coverqueue.h"
#include "detailsreader.h"
#include "finder.h"
#include "frmfind.h"
#include "frmmain.h"
#include "frmshelf.h"
#include "globalstate.h"
#include "marks.h"
#include "modmain.h"
#include "prompter.h"
#include "thumbcache.h"
#include "widgetprompter.h"
#include "widgets.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

double millis(const std::function<void()> &fn);
double median(std::vector<double> v);

// Answers every box with its first button; the benchmarks never ask anything.
class SilentPrompter : public Prompter
{
public:
    Answer message(const QString &, const QString &, Buttons) override { return Answer::Ok; }
    QString input(const QString &, const QString &, const QString &) override { return {}; }
};

struct Row
{
    QString id;
    QString scenario;
    double program;
    double baseline;
    double limit;
    QString against; // what the baseline is
    bool memory = false; // program and baseline in MiB, the figure is their difference
    // For rows measured in alternating pairs: the median of each pair's ratio, which a machine
    // whose speed drifts over a long row moves less than the ratio of the medians.
    double pairedRatio = 0;
    // The figure set against the limit: a ratio, or for memory the MiB beyond the baseline.
    double figure() const
    {
        return memory ? program - baseline : pairedRatio > 0 ? pairedRatio : program / baseline;
    }
};

// What a run of the benchmark knows: its sizes, its folder, the libraries the groups share
// (made when first asked for), the rows measured and notes printed after the table.
struct Bench
{
    bool quick = false;
    int reps = 11, startReps = 15, bigBooks = 100000, manyShelves = 5000, manyMarks = 100000;
    QString root;
    const char *self = nullptr; // this program, run again for each start-up
    SilentPrompter prompter;
    std::vector<Row> results;
    QStringList notes;

    // One shelf of bigBooks books, one of a tenth as many, one of 100.
    QString large();
    QByteArray bigShelf() { return QFile::encodeName(large() + QStringLiteral("/A big shelf")); }
    // manyShelves shelves, 1,000 books on the first.
    QString typical();
    // Runs the scenario and its baseline alternately, `reps` times each, and keeps their
    // medians; before each run, untimed, between() (the program's follow-up settles).
    void compare(const QString &id, const QString &scenario, double limit, int reps,
                 const std::function<void()> &program, const std::function<void()> &baseline,
                 const QString &against, const std::function<void()> &between = {});

private:
    QString m_large, m_typical;
};

// Points a global state at a library, as start-up does.
void openLibrary(GlobalState &g, Bench &b, const QString &library);
void touch(const QString &path, const QByteArray &content = QByteArray());
void makeBooks(const QString &shelf, int count);
// A zip of members, as EPUB and CBZ books are.
QByteArray zipOf(const std::vector<std::pair<QByteArray, QByteArray>> &members);
// A marks line of `count` entries, the first twenty books of a shelf among them.
QByteArray marksLine(int count);
// The raw cost of a listing: read the folder once and sort the names bytewise.
size_t rawList(const QByteArray &path, bool folders);
// What the kernel alone spends reading a folder: getdents64 into a large buffer, nothing kept.
size_t kernelRead(const QByteArray &path);
// The raw cost of reading a library: getdents64 on the Main Book Folder and on every shelf,
// every name kept in one buffer.
size_t rawWalk(const QByteArray &root, std::string &names, std::vector<quint32> &ends);
// Bytes the heap holds now.
size_t heapBytes();
// The longest gap of a 10 ms timer on this thread while fn runs (fn turns the event loop).
double longestGap(const std::function<void()> &fn);

// The groups, as --only names them.
void listingGroup(Bench &b); // P1-P5
void detailsGroup(Bench &b); // P20, P21
void startupGroup(Bench &b); // P6, P7, P18, M1
void marksGroup(Bench &b); // P8, P9
void findGroup(Bench &b); // P10, P11, P16, M2
void copyGroup(Bench &b); // P12, P13
void coversGroup(Bench &b); // P14, P15, M3
void shareGroup(Bench &b); // P17, P19
void commandsGroup(Bench &b); // P23
void readersGroup(Bench &b); // P24
// A start-up or its baseline in this fresh process (--child): milliseconds and peak memory.
int startupChild(const QString &what);
