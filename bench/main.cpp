// Measures Quillrack against the raw cost of the same work, side by side in one run, and prints
// a table and one "target" line per goal; exits 1 when any row falls short of its limit.
// Usage: quillrack_bench [--quick] [--only GROUP[,GROUP...]]
//   groups: listing (P1-P5), startup (P6, P7, P18, M1), marks (P8, P9), find (P10, P11, P16, M2,
//   P22, M4),
//           copy (P12, P13), covers (P14, P15, M3), share (P17, P19), details (P20, P21),
//           commands (P23), readers (P24);
//           P22 and M4 are in find
#include "bench.h"

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillrack-bench"));
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return startupChild(QString::fromLocal8Bit(argv[2]));

    const std::pair<const char *, void (*)(Bench &)> groups[]
        = {{"listing", listingGroup}, {"startup", startupGroup}, {"marks", marksGroup},
           {"find", findGroup},       {"copy", copyGroup},       {"covers", coversGroup},
           {"share", shareGroup},     {"details", detailsGroup}, {"commands", commandsGroup},
           {"readers", readersGroup}};
    Bench b;
    b.self = argv[0];
    QStringList only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            b.quick = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]).split(u',');
        else {
            std::fprintf(stderr, "usage: quillrack_bench [--quick] [--only GROUP[,GROUP...]]\n");
            return 2;
        }
    }
    for (const QString &name : only) {
        if (std::none_of(std::begin(groups), std::end(groups),
                         [&](const auto &g) { return name == QLatin1String(g.first); })) {
            std::fprintf(
                stderr,
                "no group %s: listing, startup, marks, find, copy, covers, share, details, "
                "commands, readers\n",
                qPrintable(name));
            return 2;
        }
    }
    if (b.quick) {
        b.reps = b.startReps = 3;
        b.bigBooks = 20000;
        b.manyShelves = 1000;
        b.manyMarks = 20000;
    }
    QTemporaryDir tmp;
    b.root = tmp.path();
    AppFolder::setOverride(b.root);
    std::printf("Measuring in %s (medians of %d runs, alternating with the baselines) ...\n",
                qPrintable(b.root), b.reps);
    std::fflush(stdout);
    for (const auto &[name, run] : groups) {
        if (only.isEmpty() || only.contains(QLatin1String(name)))
            run(b);
    }

    std::printf("\n%-4s %-70s %12s %12s %8s\n", "id", "scenario", "program", "baseline", "ratio");
    for (const Row &r : b.results) {
        const char *unit = r.memory ? "MiB" : "ms ";
        std::printf("%-4s %-70s %9.3f %s %9.3f %s %8.2f\n", qPrintable(r.id),
                    qPrintable(r.scenario), r.program, unit, r.baseline, unit, r.figure());
    }
    std::printf("\nBaselines:\n");
    for (const Row &r : b.results)
        std::printf("  %-4s %s\n", qPrintable(r.id), qPrintable(r.against));
    for (const QString &note : b.notes)
        std::printf("%s%s\n", note.startsWith(u' ') ? "" : "\n", qPrintable(note));
    std::printf("\n");
    int failed = 0;
    for (const Row &r : b.results) {
        const bool ok = r.figure() <= r.limit;
        failed += !ok;
        std::printf("target %s ratio=%.2f limit=%.2f %s\n", qPrintable(r.id), r.figure(), r.limit,
                    ok ? "ok" : "FAIL");
    }
    std::printf("%d of %zu targets met\n", int(b.results.size()) - failed, b.results.size());
    return failed ? 1 : 0;
}
