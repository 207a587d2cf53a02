#include "dsp/scales.h"

#include <QTest>

using namespace quellaton;

class TestScales : public QObject {
    Q_OBJECT
private slots:
    void placeholder() { QCOMPARE(NearestFrequencyIndex(20.0), 0); }
};

QTEST_GUILESS_MAIN(TestScales)
#include "test_scales.moc"
