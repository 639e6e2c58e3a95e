#include "CommandFrame.h"
#include "OutputCommands.h"
#include "Queries.h"

#include <QTest>

namespace {

// A frame as the board expects it: STX, the body, CR.
QByteArray framed(const char *body)
{
    return QByteArray(1, '\x02') + QByteArray(body) + QByteArray(1, '\r');
}

QString fromUcs4(char32_t codePoint)
{
    return QString::fromUcs4(&codePoint, 1);
}

const QString kGrinningFace = fromUcs4(U'\U0001F600'); // a surrogate pair in UTF-16
const QString kLoneHigh = QString(QChar(0xD83D));
const QString kLoneLow = QString(QChar(0xDE00));

} // namespace

// The frame layer and the pure steps of the output commands and input queries.
class TestCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frameIsStxBodyCr_data();
    void frameIsStxBodyCr();

    void lineBytesAreOneBytePerCodePoint_data();
    void lineBytesAreOneBytePerCodePoint();
    void lineBytesKeepOnlyTheEndOfTheText_data();
    void lineBytesKeepOnlyTheEndOfTheText();
    void lineTextShowsEveryByteAsOneCharacter();

    void textFieldIsLastTwoOfZeroAndText_data();
    void textFieldIsLastTwoOfZeroAndText();
    void hexFieldIsThreeUpperCaseDigits_data();
    void hexFieldIsThreeUpperCaseDigits();

    void portCommandsSendTypedCharactersUnchanged_data();
    void portCommandsSendTypedCharactersUnchanged();
    void megabyteTextGivesTheFieldOfItsLastCharacters();
    void buzzerSendsLengthFieldThenFrequencyField_data();
    void buzzerSendsLengthFieldThenFrequencyField();
    void pwmSendsChannelAndHexField_data();
    void pwmSendsChannelAndHexField();

    void bitPressSendsOffOnlyForTagOfExactlyOne_data();
    void bitPressSendsOffOnlyForTagOfExactlyOne();
    void bitButtonAlternatesFromItsOwnTag();

    void queriesHaveTheirFrameReplyLengthAndFields_data();
    void queriesHaveTheirFrameReplyLengthAndFields();
    void resultBoxesGetTheBodyPositionsOfTheirQuery_data();
    void resultBoxesGetTheBodyPositionsOfTheirQuery();
    void bodyFieldTakesWhatIsThereOfTheRange_data();
    void bodyFieldTakesWhatIsThereOfTheRange();
};

void TestCommands::frameIsStxBodyCr_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("query body") << QByteArray("A2") << QByteArray("\002A2\r");
    QTest::newRow("one letter") << QByteArray("I") << QByteArray("\002I\r");
    QTest::newRow("empty body") << QByteArray() << QByteArray("\x02\r");
    QTest::newRow("bytes above 0x7F pass through")
        << QByteArray("O\xE9?") << QByteArray("\002O\xE9?\r");
    QTest::newRow("NUL inside the body is kept")
        << QByteArray("O\0001", 3) << QByteArray("\002O\0001\r", 5);
}

void TestCommands::frameIsStxBodyCr()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame::commandFrame(body), expected);
}

void TestCommands::lineBytesAreOneBytePerCodePoint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ASCII") << QStringLiteral("1F") << QByteArray("1F");
    QTest::newRow("Latin-1 e acute is byte E9") << QStringLiteral("\u00e9") << QByteArray("\xE9");
    QTest::newRow("Latin-1 y diaeresis is byte FF")
        << QStringLiteral("\u00ff") << QByteArray("\xFF");
    QTest::newRow("C1 control U+0080 is byte 80") << QString(QChar(0x80)) << QByteArray("\x80");
    QTest::newRow("NUL is byte 00") << QString(QChar(0)) << QByteArray(1, '\0');
    QTest::newRow("euro sign is ?") << QStringLiteral("\u20ac") << QByteArray("?");
    QTest::newRow("U+0100, first beyond Latin-1, is ?") << QString(QChar(0x100)) << QByteArray("?");
    QTest::newRow("surrogate pair is one ?") << kGrinningFace << QByteArray("?");
    QTest::newRow("two surrogate pairs are two ?")
        << kGrinningFace + kGrinningFace << QByteArray("??");
    QTest::newRow("lone high surrogate is ?") << kLoneHigh << QByteArray("?");
    QTest::newRow("lone low surrogate is ?") << kLoneLow << QByteArray("?");
    QTest::newRow("lone high surrogate then a letter")
        << kLoneHigh + QStringLiteral("a") << QByteArray("?a");
    QTest::newRow("letter then lone low surrogate")
        << QStringLiteral("a") + kLoneLow << QByteArray("a?");
    QTest::newRow("low before high is two ?") << kLoneLow + kLoneHigh << QByteArray("??");
    QTest::newRow("lone high surrogate before a pair")
        << kLoneHigh + kGrinningFace << QByteArray("??");
    QTest::newRow("mixed") << QStringLiteral("a\u00e9\u20ac") + kGrinningFace + QStringLiteral("z")
                           << QByteArray("a\xE9??z");
}

void TestCommands::lineBytesAreOneBytePerCodePoint()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame::lastLineBytes(text, 100), expected);
}

void TestCommands::lineBytesKeepOnlyTheEndOfTheText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("last two of four") << QStringLiteral("1234") << 2 << QByteArray("34");
    QTest::newRow("count beyond the text") << QStringLiteral("12") << 5 << QByteArray("12");
    QTest::newRow("empty text") << QString() << 2 << QByteArray();
    QTest::newRow("count zero") << QStringLiteral("12") << 0 << QByteArray();
    QTest::newRow("a surrogate pair counts as one character")
        << QStringLiteral("ab") + kGrinningFace << 2 << QByteArray("b?");
    QTest::newRow("the last character is a whole pair, not its low half")
        << QStringLiteral("a") + kGrinningFace << 1 << QByteArray("?");
    QTest::newRow("pair in the middle")
        << QStringLiteral("a") + kGrinningFace + QStringLiteral("b") << 3 << QByteArray("a?b");
}

void TestCommands::lineBytesKeepOnlyTheEndOfTheText()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame::lastLineBytes(text, count), expected);
}

void TestCommands::lineTextShowsEveryByteAsOneCharacter()
{
    QByteArray allBytes;
    for (int value = 0; value < 256; ++value)
        allBytes.append(static_cast<char>(value));

    const QString text = frame::lineText(allBytes);

    QCOMPARE(text.size(), 256);
    for (int value = 0; value < 256; ++value)
        QCOMPARE(text.at(value).unicode(), char16_t(value));
    QCOMPARE(frame::lastLineBytes(text, 256), allBytes);
}

void TestCommands::textFieldIsLastTwoOfZeroAndText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty gives the single character 0") << QString() << QByteArray("0");
    QTest::newRow("one character gets a leading 0") << QStringLiteral("7") << QByteArray("07");
    QTest::newRow("two characters as they are") << QStringLiteral("64") << QByteArray("64");
    QTest::newRow("three characters keep the last two")
        << QStringLiteral("1F3") << QByteArray("F3");
    QTest::newRow("lower case is not changed") << QStringLiteral("ff") << QByteArray("ff");
    QTest::newRow("leading blank is not trimmed") << QStringLiteral(" 5") << QByteArray(" 5");
    QTest::newRow("trailing blank is not trimmed") << QStringLiteral("5 ") << QByteArray("5 ");
    QTest::newRow("single blank") << QStringLiteral(" ") << QByteArray("0 ");
    QTest::newRow("not hexadecimal") << QStringLiteral("zz") << QByteArray("zz");
    QTest::newRow("Latin-1 character as its byte")
        << QStringLiteral("\u00e9") << QByteArray("0\xE9");
    QTest::newRow("euro sign as ?") << QStringLiteral("\u20ac") << QByteArray("0?");
    QTest::newRow("surrogate pair alone is one ?") << kGrinningFace << QByteArray("0?");
    QTest::newRow("surrogate pair last keeps the character before it")
        << QStringLiteral("12") + kGrinningFace << QByteArray("2?");
}

void TestCommands::textFieldIsLastTwoOfZeroAndText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame::textField(text), expected);
}

void TestCommands::hexFieldIsThreeUpperCaseDigits_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("0") << 0 << QByteArray("000");
    QTest::newRow("10") << 10 << QByteArray("00A");
    QTest::newRow("255") << 255 << QByteArray("0FF");
    QTest::newRow("256") << 256 << QByteArray("100");
    QTest::newRow("500") << 500 << QByteArray("1F4");
    QTest::newRow("1023") << 1023 << QByteArray("3FF");
}

void TestCommands::hexFieldIsThreeUpperCaseDigits()
{
    QFETCH(int, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame::hexField(value), expected);
}

void TestCommands::portCommandsSendTypedCharactersUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("outFrame");
    QTest::addColumn<QByteArray>("trisFrame");

    QTest::newRow("initial text 0") << QStringLiteral("0") << framed("O00") << framed("T00");
    QTest::newRow("empty box, one character shorter") << QString() << framed("O0") << framed("T0");
    QTest::newRow("7") << QStringLiteral("7") << framed("O07") << framed("T07");
    QTest::newRow("1F3 keeps F3") << QStringLiteral("1F3") << framed("OF3") << framed("TF3");
    QTest::newRow("FF") << QStringLiteral("FF") << framed("OFF") << framed("TFF");
    QTest::newRow("ff sent in lower case")
        << QStringLiteral("ff") << framed("Off") << framed("Tff");
    QTest::newRow("blank then 5") << QStringLiteral(" 5") << framed("O 5") << framed("T 5");
    QTest::newRow("e acute as byte E9")
        << QStringLiteral("\u00e9") << framed("O0\xE9") << framed("T0\xE9");
    QTest::newRow("euro sign as ?") << QStringLiteral("1\u20ac") << framed("O1?") << framed("T1?");
}

void TestCommands::portCommandsSendTypedCharactersUnchanged()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, outFrame);
    QFETCH(QByteArray, trisFrame);
    QCOMPARE(output::portOutputFrame(text), outFrame);
    QCOMPARE(output::directionFrame(text), trisFrame);
}

void TestCommands::megabyteTextGivesTheFieldOfItsLastCharacters()
{
    const QString megabyte = QString(1 << 20, u'x') + QStringLiteral("4C");
    QCOMPARE(output::portOutputFrame(megabyte), framed("O4C"));
    QCOMPARE(output::directionFrame(megabyte), framed("T4C"));
    QCOMPARE(output::buzzerFrame(megabyte, megabyte), framed("Z4C4C"));

    QString pairs;
    for (int i = 0; i < (1 << 19); ++i)
        pairs += kGrinningFace;
    QCOMPARE(frame::textField(pairs), QByteArray("??"));
    QCOMPARE(frame::lastLineBytes(pairs, 3), QByteArray("???"));
}

void TestCommands::buzzerSendsLengthFieldThenFrequencyField_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("initial 64 and 90")
        << QStringLiteral("64") << QStringLiteral("90") << framed("Z6490");
    QTest::newRow("length first, not sorted")
        << QStringLiteral("90") << QStringLiteral("64") << framed("Z9064");
    QTest::newRow("empty length is one character")
        << QString() << QStringLiteral("90") << framed("Z090");
    QTest::newRow("empty frequency is one character")
        << QStringLiteral("64") << QString() << framed("Z640");
    QTest::newRow("both empty") << QString() << QString() << framed("Z00");
    QTest::newRow("123 and 7 give 23 and 07")
        << QStringLiteral("123") << QStringLiteral("7") << framed("Z2307");
}

void TestCommands::buzzerSendsLengthFieldThenFrequencyField()
{
    QFETCH(QString, length);
    QFETCH(QString, frequency);
    QFETCH(QByteArray, expected);
    QCOMPARE(output::buzzerFrame(length, frequency), expected);
}

void TestCommands::pwmSendsChannelAndHexField_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("PWM0 at 0") << 0 << 0 << framed("P0000");
    QTest::newRow("PWM0 at 10") << 0 << 10 << framed("P000A");
    QTest::newRow("PWM0 at 500") << 0 << 500 << framed("P01F4");
    QTest::newRow("PWM0 at 1023") << 0 << 1023 << framed("P03FF");
    QTest::newRow("PWM1 at 255") << 1 << 255 << framed("P10FF");
    QTest::newRow("PWM1 at 1023") << 1 << 1023 << framed("P13FF");
}

void TestCommands::pwmSendsChannelAndHexField()
{
    QFETCH(int, channel);
    QFETCH(int, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(output::pwmFrame(channel, value), expected);
}

void TestCommands::bitPressSendsOffOnlyForTagOfExactlyOne_data()
{
    QTest::addColumn<int>("bit");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QByteArray>("expectedFrame");
    QTest::addColumn<QString>("expectedTag");

    const QString on = QStringLiteral("1");
    const QString off = QStringLiteral("0");
    for (int bit = 0; bit < 8; ++bit) {
        const QByteArray digit = QByteArray::number(bit);
        QTest::addRow("b%d never pressed", bit)
            << bit << QString() << framed(("B" + digit + "1").constData()) << on;
        QTest::addRow("b%d after off", bit)
            << bit << off << framed(("B" + digit + "1").constData()) << on;
        QTest::addRow("b%d after on", bit)
            << bit << on << framed(("B" + digit + "0").constData()) << off;
    }
    QTest::newRow("tag 1 with trailing blank is not 1")
        << 3 << QStringLiteral("1 ") << framed("B31") << on;
    QTest::newRow("tag with leading blank is not 1")
        << 3 << QStringLiteral(" 1") << framed("B31") << on;
    QTest::newRow("tag 01 is not 1") << 3 << QStringLiteral("01") << framed("B31") << on;
    QTest::newRow("tag 11 is not 1") << 3 << QStringLiteral("11") << framed("B31") << on;
    QTest::newRow("fullwidth digit one is not 1")
        << 3 << QStringLiteral("\uff11") << framed("B31") << on;
}

void TestCommands::bitPressSendsOffOnlyForTagOfExactlyOne()
{
    QFETCH(int, bit);
    QFETCH(QString, tag);
    QFETCH(QByteArray, expectedFrame);
    QFETCH(QString, expectedTag);

    const output::BitPress press = output::bitStep(bit, tag);
    QCOMPARE(press.frame, expectedFrame);
    QCOMPARE(press.newTag, expectedTag);
}

void TestCommands::bitButtonAlternatesFromItsOwnTag()
{
    QString tagB3;
    QString tagB4;

    output::BitPress press = output::bitStep(3, tagB3);
    QCOMPARE(press.frame, framed("B31"));
    tagB3 = press.newTag;

    press = output::bitStep(4, tagB4); // another bit starts from its own empty tag
    QCOMPARE(press.frame, framed("B41"));
    tagB4 = press.newTag;

    press = output::bitStep(3, tagB3);
    QCOMPARE(press.frame, framed("B30"));
    tagB3 = press.newTag;

    press = output::bitStep(3, tagB3);
    QCOMPARE(press.frame, framed("B31"));

    press = output::bitStep(4, tagB4);
    QCOMPARE(press.frame, framed("B40"));
}

void TestCommands::queriesHaveTheirFrameReplyLengthAndFields_data()
{
    QTest::addColumn<int>("channel"); // -1: the port query
    QTest::addColumn<QByteArray>("expectedFrame");
    QTest::addColumn<int>("expectedReplyLength");
    QTest::addColumn<int>("expectedFieldCount");

    QTest::newRow("IN") << -1 << framed("I") << 7 << 2;
    QTest::newRow("AD0") << 0 << framed("A0") << 6 << 1;
    QTest::newRow("AD1") << 1 << framed("A1") << 6 << 1;
    QTest::newRow("AD2") << 2 << framed("A2") << 6 << 1;
    QTest::newRow("AD3") << 3 << framed("A3") << 6 << 1;
}

void TestCommands::queriesHaveTheirFrameReplyLengthAndFields()
{
    QFETCH(int, channel);
    QFETCH(QByteArray, expectedFrame);
    QFETCH(int, expectedReplyLength);
    QFETCH(int, expectedFieldCount);

    const query::QuerySpec asked = channel < 0 ? query::portQuery() : query::channelQuery(channel);
    QCOMPARE(asked.frame, expectedFrame);
    QCOMPARE(asked.replyLength, expectedReplyLength);
    QCOMPARE(asked.fields.size(), expectedFieldCount);
}

void TestCommands::resultBoxesGetTheBodyPositionsOfTheirQuery_data()
{
    QTest::addColumn<int>("channel"); // -1: the port query
    QTest::addColumn<QString>("body");
    QTest::addColumn<QStringList>("expectedBoxes");

    QTest::newRow("IN: 0F to port A, 3C to port B")
        << -1 << QStringLiteral("x0F3Cy")
        << QStringList{QStringLiteral("0F"), QStringLiteral("3C")};
    QTest::newRow("IN: first and last characters never reach a box")
        << -1 << QStringLiteral("\002abcd\r")
        << QStringList{QStringLiteral("ab"), QStringLiteral("cd")};
    QTest::newRow("IN: lower case and non-hex shown as received")
        << -1 << QStringLiteral("-zf?g-")
        << QStringList{QStringLiteral("zf"), QStringLiteral("?g")};
    QTest::newRow("IN: empty body after a time-out empties both boxes")
        << -1 << QString() << QStringList{QString(), QString()};
    QTest::newRow("AD2: 3FF") << 2 << QStringLiteral("x3FFy") << QStringList{QStringLiteral("3FF")};
    QTest::newRow("AD0: first and last characters never reach the box")
        << 0 << QStringLiteral("9abc9") << QStringList{QStringLiteral("abc")};
    QTest::newRow("AD3: empty body after a time-out empties the box")
        << 3 << QString() << QStringList{QString()};
}

void TestCommands::resultBoxesGetTheBodyPositionsOfTheirQuery()
{
    QFETCH(int, channel);
    QFETCH(QString, body);
    QFETCH(QStringList, expectedBoxes);

    const query::QuerySpec asked = channel < 0 ? query::portQuery() : query::channelQuery(channel);
    QStringList boxes;
    for (const query::BodyField &field : asked.fields)
        boxes << query::bodyField(body, field);
    QCOMPARE(boxes, expectedBoxes);
}

void TestCommands::bodyFieldTakesWhatIsThereOfTheRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("expected");

    QTest::newRow("range inside the text")
        << QStringLiteral("abcdef") << 2 << 3 << QStringLiteral("bcd");
    QTest::newRow("range ends at the last character")
        << QStringLiteral("abcd") << 2 << 3 << QStringLiteral("bcd");
    QTest::newRow("text ends inside the range")
        << QStringLiteral("abc") << 2 << 3 << QStringLiteral("bc");
    QTest::newRow("only the start character is there")
        << QStringLiteral("ab") << 2 << 3 << QStringLiteral("b");
    QTest::newRow("text as long as start minus one") << QStringLiteral("a") << 2 << 3 << QString();
    QTest::newRow("text shorter than the start") << QStringLiteral("abc") << 5 << 2 << QString();
    QTest::newRow("empty text") << QString() << 2 << 2 << QString();
    QTest::newRow("start 1 is the first character")
        << QStringLiteral("abc") << 1 << 2 << QStringLiteral("ab");
    QTest::newRow("blanks are not trimmed")
        << QStringLiteral("a  b") << 2 << 2 << QStringLiteral("  ");
}

void TestCommands::bodyFieldTakesWhatIsThereOfTheRange()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QString, expected);

    QCOMPARE(query::bodyField(text, {start, length}), expected);
}

QTEST_APPLESS_MAIN(TestCommands)
#include "tst_commands.moc"
