// Filing under the name: real street names of each language's cities, the
// table's format, and every street name of Monaco.
#include "index/street_filing.h"
#include "tests/testing/test_maps.h"

#include <sqlite3.h>

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <stdexcept>

#include "tests/testing/qt_printers.h"

using namespace bramlotte::index;

namespace {

struct Case {
    const char* key;
    const char* filed;  // the key as the index writes it
};

void expectFiled(const char* language, std::initializer_list<Case> cases) {
    const std::optional<StreetFiling> filing = StreetFiling::forLanguage(language);
    ASSERT_TRUE(filing) << language;
    for (const Case& c : cases) {
        EXPECT_EQ(filing->filed(QString::fromUtf8(c.key)), QString::fromUtf8(c.filed))
            << language << ": " << c.key;
    }
}

}  // namespace

TEST(StreetFiling, FrenchNamesOfParisLyonAndMonaco) {
    expectFiled("fr",
                {
                    {"Rue de la Paix", "Paix (Rue de la)"},
                    {"Avenue de la Costa", "Costa (Avenue de la)"},
                    {"Place d'Armes", "Armes (Place d')"},
                    {"Place d’Armes", "Armes (Place d’)"},
                    {"Boulevard Albert 1er", "Albert 1er (Boulevard)"},
                    {"Place de l'Église", "Église (Place de l')"},
                    {"Quai d'Orsay", "Orsay (Quai d')"},
                    {"Avenue des Champs-Élysées", "Champs-Élysées (Avenue des)"},
                    {"Rond-Point des Champs-Élysées", "Champs-Élysées (Rond-Point des)"},
                    {"Grande Rue de la Croix-Rousse", "Croix-Rousse (Grande Rue de la)"},
                    {"Montée du Gourguillon", "Gourguillon (Montée du)"},
                    {"Cours Lafayette", "Lafayette (Cours)"},
                    {"Ruelle Sainte-Barbe", "Sainte-Barbe (Ruelle)"},
                    {"Chemin de Saint-Michel au Cap Roux", "Saint-Michel au Cap Roux (Chemin de)"},
                    {"Avenue du 3 Septembre", "3 Septembre (Avenue du)"},
                    // an article straight after the type belongs to the name
                    {"Rue La Fayette", "La Fayette (Rue)"},
                    {"Avenue Le Corbusier", "Le Corbusier (Avenue)"},
                    // abbreviations, as written
                    {"Av. Foch", "Foch (Av.)"},
                    {"Av.Foch", "Foch (Av.)"},
                    {"Bd Saint-Germain", "Saint-Germain (Bd)"},
                    {"Pl. d'Italie", "Italie (Pl. d')"},
                    // case: matched without regard to it, kept as written
                    {"rue de la Paix", "Paix (rue de la)"},
                    {"AVENUE DES CHAMPS-ÉLYSÉES", "CHAMPS-ÉLYSÉES (AVENUE DES)"},
                    {"Rue De la Pise", "Pise (Rue De la)"},
                    {"quai de l'hirondelle", "hirondelle (quai de l')"},
                    {"Quai louisII", "louisII (Quai)"},
                    {"Rue  de la Paix", "Paix (Rue  de la)"},
                    // a type, or a type and particles, only
                    {"Rond-Point", "Rond-Point"},
                    {"Impasse", "Impasse"},
                    {"Rue de la", "Rue de la"},
                    {"Place d'", "Place d'"},
                    // words that merely begin like a type
                    {"Port-Royal", "Port-Royal"},
                    {"Rueil-Malmaison", "Rueil-Malmaison"},
                    {"Courcelles", "Courcelles"},
                    {"Placide", "Placide"},
                    // another language's type
                    {"Calle Mayor", "Calle Mayor"},
                });
}

TEST(StreetFiling, ItalianNamesOfRomeMilanAndFlorence) {
    expectFiled("it", {
                          {"Via del Corso", "Corso (Via del)"},
                          {"Piazza di Spagna", "Spagna (Piazza di)"},
                          {"Via dei Fori Imperiali", "Fori Imperiali (Via dei)"},
                          {"Via in Arcione", "Arcione (Via in)"},
                          {"Lungotevere dei Mellini", "Mellini (Lungotevere dei)"},
                          {"Largo di Torre Argentina", "Torre Argentina (Largo di)"},
                          {"Via dell'Orso", "Orso (Via dell')"},
                          {"Via dell’Orso", "Orso (Via dell’)"},
                          {"Via de' Tornabuoni", "Tornabuoni (Via de')"},
                          {"Corso di Porta Ticinese", "Porta Ticinese (Corso di)"},
                          {"Viale Monza", "Monza (Viale)"},
                          {"V.le Monza", "Monza (V.le)"},
                          {"C.so Buenos Aires", "Buenos Aires (C.so)"},
                          {"Piazzale Loreto", "Loreto (Piazzale)"},
                          {"Alzaia Naviglio Grande", "Naviglio Grande (Alzaia)"},
                          {"VIA DELLA SPIGA", "SPIGA (VIA DELLA)"},
                          {"Piazza", "Piazza"},
                          {"Vialba", "Vialba"},
                          {"Rue de la Paix", "Rue de la Paix"},
                      });
}

TEST(StreetFiling, SpanishNamesOfMadrid) {
    expectFiled("es", {
                          {"Calle de Alcalá", "Alcalá (Calle de)"},
                          {"Calle Mayor", "Mayor (Calle)"},
                          {"Paseo de la Castellana", "Castellana (Paseo de la)"},
                          {"Calle de las Huertas", "Huertas (Calle de las)"},
                          {"Calle de los Madrazo", "Madrazo (Calle de los)"},
                          {"Callejón del Gato", "Gato (Callejón del)"},
                          {"Carrera de San Jerónimo", "San Jerónimo (Carrera de)"},
                          {"Avda. de América", "América (Avda. de)"},
                          {"Pº del Prado", "Prado (Pº del)"},
                          {"C/ Mayor", "Mayor (C/)"},
                          {"C/Mayor", "Mayor (C/)"},
                          {"calle de Atocha", "Atocha (calle de)"},
                          {"Gran Vía", "Gran Vía"},
                          {"Puerta del Sol", "Puerta del Sol"},
                          {"Callao", "Callao"},
                      });
}

TEST(StreetFiling, PortugueseNamesOfLisbon) {
    expectFiled("pt", {
                          {"Rua Augusta", "Augusta (Rua)"},
                          {"Rua do Ouro", "Ouro (Rua do)"},
                          {"Avenida da Liberdade", "Liberdade (Avenida da)"},
                          {"Praça do Comércio", "Comércio (Praça do)"},
                          {"Largo do Chiado", "Chiado (Largo do)"},
                          {"Travessa da Queimada", "Queimada (Travessa da)"},
                          {"Calçada do Combro", "Combro (Calçada do)"},
                          {"Rua dos Fanqueiros", "Fanqueiros (Rua dos)"},
                          {"Rua de São Bento", "São Bento (Rua de)"},
                          {"Av. da República", "República (Av. da)"},
                          {"R. Garrett", "Garrett (R.)"},
                          {"PRAÇA", "PRAÇA"},
                          {"Avenidas Novas", "Avenidas Novas"},
                          {"Rossio", "Rossio"},
                      });
}

TEST(StreetFiling, CatalanNamesOfBarcelona) {
    expectFiled("ca", {
                          {"Carrer de Mallorca", "Mallorca (Carrer de)"},
                          {"Carrer d'Aragó", "Aragó (Carrer d')"},
                          {"Passeig de Gràcia", "Gràcia (Passeig de)"},
                          {"Avinguda Diagonal", "Diagonal (Avinguda)"},
                          {"Plaça de Catalunya", "Catalunya (Plaça de)"},
                          {"Carrer dels Escudellers", "Escudellers (Carrer dels)"},
                          {"Gran Via de les Corts Catalanes", "Corts Catalanes (Gran Via de les)"},
                          {"Carrer de l'Hospital", "Hospital (Carrer de l')"},
                          {"Carrer d'en Robador", "Robador (Carrer d'en)"},
                          {"Portal de l'Àngel", "Àngel (Portal de l')"},
                          {"Carretera de Sants", "Sants (Carretera de)"},
                          {"C/ de Pau Claris", "Pau Claris (C/ de)"},
                          {"La Rambla", "La Rambla"},
                      });
}

TEST(StreetFiling, RomanianNamesOfBucharest) {
    expectFiled("ro", {
                          {"Calea Victoriei", "Victoriei (Calea)"},
                          {"Strada Lipscani", "Lipscani (Strada)"},
                          {"Bulevardul Unirii", "Unirii (Bulevardul)"},
                          {"Piața Unirii", "Unirii (Piața)"},
                          {"Șoseaua Kiseleff", "Kiseleff (Șoseaua)"},
                          {"Splaiul Independenței", "Independenței (Splaiul)"},
                          {"Drumul Taberei", "Taberei (Drumul)"},
                          {"Bd. Regina Elisabeta", "Regina Elisabeta (Bd.)"},
                          {"Str. Smârdan", "Smârdan (Str.)"},
                          // the cedilla letters and no diacritics at all
                          {"Piaţa Romană", "Romană (Piaţa)"},
                          {"Şos. Kiseleff", "Kiseleff (Şos.)"},
                          {"Piata Victoriei", "Victoriei (Piata)"},
                          {"STRADA", "STRADA"},
                      });
}

TEST(StreetFiling, PolishNamesOfWarsaw) {
    expectFiled("pl", {
                          {"ulica Marszałkowska", "Marszałkowska (ulica)"},
                          {"ul. Nowy Świat", "Nowy Świat (ul.)"},
                          {"Aleje Jerozolimskie", "Jerozolimskie (Aleje)"},
                          {"al. Jana Pawła II", "Jana Pawła II (al.)"},
                          {"plac Zamkowy", "Zamkowy (plac)"},
                          {"Plac Defilad", "Defilad (Plac)"},
                          {"pl.Bankowy", "Bankowy (pl.)"},
                          {"rondo Romana Dmowskiego", "Romana Dmowskiego (rondo)"},
                          {"Wybrzeże Kościuszkowskie", "Kościuszkowskie (Wybrzeże)"},
                          {"Krakowskie Przedmieście", "Krakowskie Przedmieście"},
                          {"Alternatywy", "Alternatywy"},
                          {"ULICA", "ULICA"},
                      });
}

TEST(StreetFiling, DutchNamesOfTheHagueAmsterdamAndRotterdam) {
    expectFiled("nl", {
                          {"Laan van Meerdervoort", "Meerdervoort (Laan van)"},
                          {"laan van Meerdervoort", "Meerdervoort (laan van)"},
                          {"Laan van Nieuw Oost-Indië", "Nieuw Oost-Indië (Laan van)"},
                          {"Laan van 's-Gravenmade", "'s-Gravenmade (Laan van)"},
                          {"Laan van de Helende Meesters", "Helende Meesters (Laan van de)"},
                          {"Laan op Zuid", "Zuid (Laan op)"},
                          {"Plein 1813", "1813 (Plein)"},
                          {"Plein '40-'45", "'40-'45 (Plein)"},
                          {"Prinsengracht", "Prinsengracht"},
                          {"Pleinweg", "Pleinweg"},
                          {"Grote Markt", "Grote Markt"},
                      });
}

TEST(StreetFiling, PartsAndTheSpacesAroundAKey) {
    const auto french = StreetFiling::forLanguage("fr");
    ASSERT_TRUE(french);
    const std::optional<FiledName> parts = french->file("  Rue de la Paix ");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->name, QStringLiteral("Paix"));
    EXPECT_EQ(parts->type, QStringLiteral("Rue de la"));
    EXPECT_EQ(french->filed("  Rue de la Paix "), QStringLiteral("  Paix (Rue de la) "));
    EXPECT_EQ(french->filed(QString::fromUtf8("\u00a0Place d'Armes")),
              QString::fromUtf8("\u00a0Armes (Place d')"));
    EXPECT_FALSE(french->file(" Rond-Point "));
    EXPECT_FALSE(french->file("   "));
    EXPECT_FALSE(french->file(""));
    EXPECT_EQ(french->filed("   "), QStringLiteral("   "));

    // Decomposed accents are matched, and filed composed.
    const QString decomposed = QString::fromUtf8("Alle\u0301e de l'E\u0301glise");
    ASSERT_NE(decomposed, decomposed.normalized(QString::NormalizationForm_C));
    const std::optional<FiledName> composed = french->file(decomposed);
    ASSERT_TRUE(composed);
    EXPECT_EQ(composed->name, QString::fromUtf8("Église"));
    EXPECT_EQ(composed->type, QString::fromUtf8("Allée de l'"));
}

TEST(StreetFiling, LanguagesByCodeOrLocaleName) {
    QStringList languages = StreetFiling::languages();
    for (const char* code : {"fr", "it", "es", "pt", "ca", "ro", "pl", "nl"}) {
        EXPECT_TRUE(languages.contains(code)) << code;
        EXPECT_TRUE(StreetFiling::forLanguage(code)) << code;
    }
    EXPECT_EQ(languages.removeDuplicates(), 0);
    const std::map<const char*, std::pair<const char*, const char*>> localeNames = {
        {"fr_FR.UTF-8", {"Rue de la Paix", "Paix (Rue de la)"}},
        {"fr-BE", {"Rue de la Loi", "Loi (Rue de la)"}},
        {"FR", {"Rue de la Paix", "Paix (Rue de la)"}},
        {"pt_BR", {"Rua Oscar Freire", "Oscar Freire (Rua)"}},
        {"ca_ES@valencia", {"Carrer de Colón", "Colón (Carrer de)"}},
        {"nl_BE.UTF-8", {"Laan van Meerdervoort", "Meerdervoort (Laan van)"}},
    };
    for (const auto& [locale, names] : localeNames) {
        const auto filing = StreetFiling::forLanguage(locale);
        ASSERT_TRUE(filing) << locale;
        EXPECT_EQ(filing->filed(names.first), QString::fromUtf8(names.second)) << locale;
    }
    for (const char* none : {"de_DE.UTF-8", "en", "C", "POSIX", "C.UTF-8", ""}) {
        EXPECT_FALSE(StreetFiling::forLanguage(none)) << none;
    }
}

TEST(StreetFiling, TablesOfOnesOwn) {
    const QString table = QStringLiteral(
        "# two languages\n"
        "\n"
        "xx type   Foo   Bar    # a type of two words\n"
        "xx type Baz.\n"
        "  xx particle of\n"
        "xx article the\n"
        "xx particle o'\n"
        "yy type Foo\r\n");
    const auto xx = StreetFiling::fromTable(table, "xx_XX");
    ASSERT_TRUE(xx);
    EXPECT_EQ(xx->filed("Foo Bar of the Quux"), QStringLiteral("Quux (Foo Bar of the)"));
    EXPECT_EQ(xx->filed("FOO  BAR o'Quux"), QStringLiteral("Quux (FOO  BAR o')"));
    EXPECT_EQ(xx->filed("Baz.Quux"), QStringLiteral("Quux (Baz.)"));
    EXPECT_EQ(xx->filed("Foo Bar the Quux"), QStringLiteral("the Quux (Foo Bar)"));
    EXPECT_EQ(xx->filed("Foo Quux"), QStringLiteral("Foo Quux"));
    const auto yy = StreetFiling::fromTable(table, "yy");
    ASSERT_TRUE(yy);
    EXPECT_EQ(yy->filed("Foo Quux"), QStringLiteral("Quux (Foo)"));
    EXPECT_EQ(yy->filed("Foo of Quux"), QStringLiteral("of Quux (Foo)"));
    EXPECT_FALSE(StreetFiling::fromTable(table, "zz"));

    // A malformed entry names its line, whatever the language asked for.
    for (const char* bad : {"xx typ Foo", "xx type", "x1 type Foo", "xx particle of the"}) {
        const QString text = QStringLiteral("# first\nxx type Foo\n") + QString::fromUtf8(bad);
        try {
            StreetFiling::fromTable(text, "yy");
            ADD_FAILURE() << "accepted " << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
        }
    }
}

// Monaco's real street names filed the French way: the names that still begin
// with a French type word, by a list of its own, are only types.
TEST(StreetFiling, MonacosStreetNames) {
    const QString path = bramlotte::testmaps::sharedData("monaco.gpkg");
    if (path.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT DISTINCT name FROM streets WHERE name <> ''", -1, &st,
                                 nullptr),
              SQLITE_OK);
    QStringList names;
    while (sqlite3_step(st) == SQLITE_ROW) {
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_GT(names.size(), 500);

    const auto french = StreetFiling::forLanguage("fr");
    ASSERT_TRUE(french);
    const QStringList typeWords =
        QStringLiteral(
            "rue avenue boulevard place allée allées impasse chemin route quai passage escalier "
            "escaliers square cours promenade esplanade montée descente rampe traverse sentier "
            "galerie tunnel pont rond-point carrefour villa cité ruelle voie parvis jardin jardins "
            "port plage belvédère virage jetée giratoire bretelle corniche")
            .split(' ');
    const QStringList particles = {"de", "du", "des", "la", "d'", "l'"};
    const auto firstWord = [](const QString& text) { return text.section(' ', 0, 0).toLower(); };

    std::map<QString, QString> filed;
    QStringList onlyTypes, typeAsName, unexplained;
    for (const QString& name : names) {
        const QString out = french->filed(name);
        filed[name] = out;
        if (!typeWords.contains(firstWord(out))) {
            continue;
        }
        if (out != name) {
            // The name proper is itself a type word: "Plage (Avenue de la)".
            typeAsName << out;
            continue;
        }
        bool typeOnly = true;
        for (const QString& word : name.toLower().split(' ')) {
            typeOnly = typeOnly && (typeWords.contains(word) || particles.contains(word));
        }
        (typeOnly ? onlyTypes : unexplained) << name;
    }
    std::cout << "Monaco: " << names.size() << " distinct names, "
              << (onlyTypes.size() + unexplained.size())
              << " still begin with a type word:" << std::endl;
    for (const QString& name : onlyTypes + unexplained) {
        std::cout << "  " << name.toStdString()
                  << (onlyTypes.contains(name) ? "  (only a type)" : "  (UNEXPLAINED)")
                  << std::endl;
    }
    std::cout << typeAsName.size() << " are filed under a name that is itself a type word:\n";
    for (const QString& out : typeAsName) {
        std::cout << "  " << out.toStdString() << std::endl;
    }
    EXPECT_TRUE(unexplained.isEmpty()) << unexplained.join(", ").toStdString();
    EXPECT_LE(onlyTypes.size(), 5);
    EXPECT_EQ(filed["Rue de la Paix"], QStringLiteral("Paix (Rue de la)"));
    EXPECT_EQ(filed["Place d'Armes"], QStringLiteral("Armes (Place d')"));
    EXPECT_EQ(filed["Place de l'Opéra"], QString::fromUtf8("Opéra (Place de l')"));
    EXPECT_EQ(filed["Impasse"], QStringLiteral("Impasse"));

    // Hundreds of thousands of keys: time this many.
    QElapsedTimer timer;
    timer.start();
    int changed = 0;
    const int rounds = 400;
    for (int round = 0; round < rounds; ++round) {
        for (const QString& name : names) {
            changed += french->file(name) ? 1 : 0;
        }
    }
    const double ns = static_cast<double>(timer.nsecsElapsed()) / (rounds * names.size());
    std::cout << rounds * names.size() << " keys filed, " << ns << " ns a key" << std::endl;
    int filedNames = 0;
    for (const auto& [name, out] : filed) {
        filedNames += out != name ? 1 : 0;
    }
    EXPECT_EQ(changed, rounds * filedNames);
}
