// On Monaco's real streets and quarters: each street's quarter, the keys
// split by quarter and those to check, against an independent brute-force
// computation of the same rule with OGR's geometry (a Python script).
#include "map/map_walk.h"
#include "tests/testing/test_maps.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <iostream>
#include <map>

using namespace bramlotte;

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// What the reference script prints, or an empty object when it cannot run.
QJsonObject reference(const QString& map, double distance, bool always) {
    QProcess python;
    QStringList args{BRAMLOTTE_LOCALITY_REFERENCE, map, "streets", "name", "quarters", "name",
                     QString::number(distance)};
    if (always) {
        args << "always";
    }
    python.start(kPython, args);
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        ADD_FAILURE() << "the reference failed: " << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QStringList sortedTexts(const std::vector<QVariant>& values) {
    QStringList out;
    for (const QVariant& v : values) {
        out << v.toString();
    }
    out.sort();
    return out;
}

QStringList sortedTexts(const QJsonArray& values) {
    QStringList out;
    for (const QJsonValue& v : values) {
        out << v.toString();
    }
    out.sort();
    return out;
}

struct Case {
    double distance;
    bool always;
};

}  // namespace

TEST(MonacoLocalities, StreetsAndQuartersEqualABruteForceOfTheRule) {
    auto monaco = testmaps::openSharedMap("monaco.gpkg");
    if (!monaco) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    if (!QFileInfo(kPython).isExecutable() ||
        QProcess::execute(kPython, {"-c", "import osgeo.ogr"}) != 0) {
        GTEST_SKIP() << "/usr/bin/python3 with osgeo is absent";
    }
    auto map = monaco->document->focusMap();
    std::unique_ptr<host::Layer> quarters = map::lastFeatureLayerNamed(*map, "quarters");
    ASSERT_TRUE(quarters && monaco->streets);
    host::FeatureLayer& streets = *monaco->streets->asFeatureLayer();
    const int name = streets.featureClass()->findField("name");
    const int quarterName = quarters->asFeatureLayer()->featureClass()->findField("name");

    for (const Case c : {Case{0, false}, Case{25, false}, Case{0, true}}) {
        SCOPED_TRACE(testing::Message() << "distance " << c.distance << " always " << c.always);
        const QJsonObject want =
            reference(testmaps::sharedData("monaco.gpkg"), c.distance, c.always);
        ASSERT_FALSE(want.isEmpty());
        const host::StreetLocalities got = streets.streetLocalities(
            name, *quarters->asFeatureLayer(), quarterName, {c.distance, c.always});

        struct Seen {
            long long id;
            int street;
            QString locality, shown;
        };
        std::vector<Seen> seen;
        std::map<int, long long> lowestOfStreet;
        auto all = streets.search();  // the layer's own walk: found by id
        while (auto f = all->nextFeature()) {
            const int street = got.street(*f);
            const int at = got.streetLocality(*f);
            const int shown = got.shownLocality(*f);
            seen.push_back({f->id(), street, at < 0 ? QString() : got.localityName(at).toString(),
                            shown < 0 ? QString() : got.localityName(shown).toString()});
            if (street >= 0 && !lowestOfStreet.count(street)) {
                lowestOfStreet[street] = f->id();  // ids ascend
            }
        }
        ASSERT_EQ(seen.size(), 2903u);
        const QJsonObject segments = want["segments"].toObject();
        long long inStreets = 0;
        for (const Seen& s : seen) {
            const QJsonObject w = segments[QString::number(s.id)].toObject();
            if (w.isEmpty()) {
                EXPECT_EQ(s.street, -1) << "feature " << s.id;
                continue;
            }
            ++inStreets;
            ASSERT_GE(s.street, 0) << "feature " << s.id;
            EXPECT_EQ(lowestOfStreet[s.street], w["street"].toVariant().toLongLong())
                << "feature " << s.id;
            EXPECT_EQ(s.locality, w["locality"].toString()) << "feature " << s.id;
            EXPECT_EQ(s.shown, w["shown"].toString()) << "feature " << s.id;
        }
        EXPECT_EQ(inStreets, segments.size());
        EXPECT_EQ(sortedTexts(got.splitKeys), sortedTexts(want["split"].toArray()));
        EXPECT_EQ(sortedTexts(got.keysToCheck), sortedTexts(want["check"].toArray()));
        std::cout << "[ monaco ] distance " << c.distance << (c.always ? " always" : "") << ": "
                  << got.streetCount() << " streets, " << got.splitKeys.size() << " keys split ("
                  << sortedTexts(got.splitKeys).join(", ").toStdString() << "), "
                  << got.keysToCheck.size() << " to check\n";
    }
}
