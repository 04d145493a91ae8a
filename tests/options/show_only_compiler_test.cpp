// The ShowOnly compiler: collection, translation, code generation and their messages.
#include "options/show_only_compiler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/text_reader.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

// Compiles `section` (the option file text after the "ShowOnly" line) from a file; gives the
// disassembled code, or the message of the failure.
std::string CompileFromFile(const std::string& section, ShowOnlyProgram& program,
                            int* next = nullptr, ShowOnlyErrorPlace* place = nullptr) {
  test::TempDir dir;
  test::WriteText(dir.File("eq.opt"), section);
  TextReader reader;
  EXPECT_TRUE(reader.Open(dir.File("eq.opt")));
  ShowOnlyErrorPlace where;
  Result result = CompileShowOnly(reader, program, where);
  if (next != nullptr) *next = reader.Get();
  if (place != nullptr) *place = where;
  return result.ok() ? DisassembleShowOnly(program) : result.ErrorText();
}

std::string Compile(const std::string& section) {
  ShowOnlyProgram program;
  return CompileFromFile(section, program);
}

// "start+length" of a place in the collected text, "-" for none.
std::string PlaceText(const ShowOnlyErrorPlace& place) {
  return place.placed ? std::to_string(place.start) + "+" + std::to_string(place.length) : "-";
}

struct ErrorCase {
  const char* name;
  std::string section;
  std::string expected;  // the message, or the code of a section that compiles
  std::string place;     // as PlaceText gives it
};

void ExpectErrors(const std::vector<ErrorCase>& cases) {
  for (const ErrorCase& c : cases) {
    ShowOnlyProgram program;
    ShowOnlyErrorPlace place;
    EXPECT_EQ(CompileFromFile(c.section, program, nullptr, &place), c.expected) << c.name;
    EXPECT_EQ(PlaceText(place), c.place) << c.name;
  }
}

TEST(ShowOnlyTranslation, EveryIdentifierInTableOrder) {
  std::string translated;
  ASSERT_TRUE(TranslateShowOnly(
                  "STSOK STSSTP STSPAR STSSD STSRPT STSUND STSOVR STSCHK STSED SD1 SD2 SD3 SD4 SC "
                  "ED SAPEXT TYPMSK MTM1 MTM2 MSRD MSDN SDAL SDNL SDAH SDNH RDD GSRD RFDL MDLY "
                  "MKEP SRDL SRDH RIR RLSR OK UE RR RS DL NR DH RD RDH STS LEN SD DA SA FC DSAP "
                  "SSAP DataByte[1] DataWord[2] CmdArg[3] GapTme",
                  translated)
                  .ok());
  EXPECT_EQ(translated,
            "0 1 2 4 8 16 32 64 128 16 104 162 220 229 22 128 207 64 192 65 66 67 68 69 70 71 "
            "72 73 74 75 76 77 78 79 0 1 2 3 8 9 10 12 13 M0 N0 O0 P0 P1 Q0 R0 S0 U1 V2 W3 T0");
}

TEST(ShowOnlyTranslation, TextsAndMessages) {
  const std::string pre = "Invalid Option ShowOnly Equation: ";
  const Case cases[] = {
      {"case-insensitive", "sa == Sa AND dA or SA", "P1 == P1 AND P0 or P1"},
      {"hex index lower-cased", "DataWord[0X1a]", "V0x1a"},
      {"hex number", "0XaBg", ""},  // "g" starts an undefined identifier
      {"hex digits kept", "0XaB+1", "0xaB+1"},
      {"empty index", "DataByte[]-1", "U-1"},
      {"index bracket dropped", "DataByte[3]5", "U35"},
      {"constant joins digits", "5STSOK", "50"},
      {"other characters pass", "$ \x80 [", "$ \x80 ["},
      {"undefined", "Foo == 1", pre + "Undefined Identifier 'Foo'"},
      {"whole names only", "RIRX", pre + "Undefined Identifier 'RIRX'"},
      {"no bracket", "DataByte 3", pre + "'[' Expected 'U'"},
      {"unclosed", "DataWord[3", pre + "']' Expected 'V3'"},
      {"blank in index", "DataByte[ 3]", pre + "']' Expected 'U'"},
      {"unclosed hex", "DataWord[0x1A", pre + "']' Expected 'V0x1A'"},
      {"hex without digits", "CmdArg[0xg]", pre + "']' Expected 'W0x'"},
      {"ends at NUL", std::string("SA\0Foo", 6), "P1"},
      {"identifier of 35", std::string(35, 'x'),
       pre + "Undefined Identifier '" + std::string(35, 'x') + "'"},
      {"identifier of 300", std::string(300, 'x'),
       pre + "Undefined Identifier '" + std::string(300, 'x') + "'"},
      {"translation of 255", std::string(255, '1'), std::string(255, '1')},
      {"translation beyond 255", std::string(254, '1') + "SA", std::string(254, '1') + "P1"},
  };
  for (const Case& c : cases) {
    std::string translated;
    Result result = TranslateShowOnly(c.input, translated);
    if (c.expected.empty()) {
      EXPECT_FALSE(result.ok()) << c.name;
    } else {
      EXPECT_EQ(result.ok() ? translated : result.ErrorText(), c.expected) << c.name;
    }
  }
}

TEST(ShowOnlyCompile, CodeAndBindingLevels) {
  const Case cases[] = {
      {"example", "SA == 0x1F && (FC & TYPMSK) == SRDH || DataByte[2] != CmdArg[0]#",
       "28 1 35 31 15 29 35 207 17 35 77 15 20 33 2 36 0 16 21"},
      {"hex index", "DataByte[0x10] == 5#", "33 16 35 5 15"},
      {"largest hex", "DataWord[0] == 0xFFFF#", "34 0 35 65535 15"},
      {"hex run taken whole", "0xFFSA#", "35 255"},
      {"every field", "STS+LEN+SD+FC+DSAP+SSAP+GapTme#", "25 26 9 27 9 29 9 30 9 31 9 32 9"},
      {"subtract", "SA-1#", "28 1 35 1 10"},
      {"negative number", "5*-1#", "35 5 35 -1 6"},
      {"negate binds tightest", "- SA * 3#", "28 1 4 35 3 6"},
      {"unary nest right", "!~-SA#", "28 1 4 5 3"},
      {"minus minus", "--5#", "35 -5 4"},
      {"zero minus in parens", "(0-5)#", "35 0 35 5 10"},
      {"smallest number", "-2147483648#", "35 -2147483648"},
      {"bitwise reversed", "1 | 2 ^ 3 & 4#", "35 1 35 2 18 35 3 19 35 4 17"},
      {"and over or", "1 || 2 AND 3 or 4#", "35 1 35 2 35 3 20 21 35 4 21"},
      {"levels", "1 & 2 == 3 < 4 + 5 * 6#", "35 1 35 2 35 3 35 4 35 5 35 6 6 9 11 15 17"},
      {"left to right", "8 / 4 % 3 - 2 - 1#", "35 8 35 4 7 35 3 8 35 2 10 35 1 10"},
      {"all comparisons", "1<2>3<=4>=5==6=7!=8<>9#",
       "35 1 35 2 11 35 3 12 35 4 13 35 5 14 35 6 15 35 7 15 35 8 16 35 9 16"},
      {"signed empty index", "DataByte[]-1 + CmdArg[] 5#", "33 -1 36 5 9"},
      {"sign alone as index", "DataByte[]-#", "33 0"},
      {"empty", "#", ""},
      {"blanks only", "  \t \n  #", ""},
      {"comment joins lines", "SA == 5 ;x\n|| DA == 5#", "28 1 35 5 15 28 0 35 5 15 21"},
      {"CR LF dropped", "SA\r\n==\r\n5\r\n#", "28 1 35 5 15"},
  };
  for (const Case& c : cases) EXPECT_EQ(Compile(c.input), c.expected) << c.name;
}

TEST(ShowOnlyCompile, ExpressionErrors) {
  // The place is the token at fault in the collected text (past its end, the last token), or
  // for a bad number the character that the message quotes from.
  const std::string pre = "Option ShowOnly Expression Error: ";
  ExpectErrors({
      {"operator for operand", "SA == == 5 #", pre + "Missing Parameter ' == 5 ", "6+2"},
      {"no close", "(SA == 5#", pre + "Missing Parenthesis '5", "7+1"},
      {"no close after field", "(SA#", pre + "Missing Parenthesis '1", "1+2"},
      {"minus after open", "(-5)#", pre + "Missing Parameter '(-5)", "1+1"},
      {"negate after open", "(-SA)#", pre + "Missing Parameter '(-P1)", "1+1"},
      {"empty parens", "()#", pre + "Missing Parameter '()", "1+1"},
      {"operator at start", "* 5#", pre + "Missing Parameter '* 5", "0+1"},
      {"text ends", "SA ==#", pre + "Missing Parameter '==", "3+2"},
      {"number after operand", "SA 5#", pre + "Missing Operator ' 5", "3+1"},
      {"open after operand", "SA (DA)#", pre + "Missing Operator ' (P0)", "3+1"},
      {"field after operand", "SA DA#", pre + "Missing Operator 'P0", "3+2"},
      {"not after close", "(SA) !DA#", pre + "Missing Operator ' !P0", "5+1"},
      {"not after operand", "SA ! 5#", pre + "Ambiguous Operator '! 5", "3+1"},
      {"unmatched close", "SA == 5 )#", pre + "Ambiguous Operator ')", "8+1"},
      {"not inside parens", "(SA ~ 5)#", pre + "Missing Parenthesis '~ 5)", "4+1"},
      {"bad character", "SA $ 5#", pre + "Invalid Operator '$ 5", "3+1"},
      {"lower-case x", "10x5#", pre + "Invalid Operator 'x5", "2+1"},
      {"five hex digits", "DataWord[0] == 0x12345#", pre + "Invalid Value '5", "21+1"},
      {"hex without digits", "0x #", pre + "Invalid Value 'x ", "1+1"},
      {"hex index too long", "DataWord[0x12345] == 1#", pre + "Invalid Value '5 == 1", "0+17"},
      {"empty index", "DataByte[] == 1#", pre + "Invalid Value ' == 1", "0+10"},
      {"index at the end", "1 + DataByte[]#", pre + "Invalid Value 'U", "4+10"},
      {"bad value wins", "SA 0x12345#", pre + "Invalid Value '5", "9+1"},
      {"beyond 32 bits", "2147483648#", pre + "Invalid Value '8", "9+1"},
      {"number of 31", std::string(30, '0') + "7#", "35 7", "-"},
      {"number of 32", std::string(31, '0') + "7#", pre + "Invalid Value '7", "31+1"},
  });
}

TEST(ShowOnlyCompile, PlacesInTheCollectedText) {
  // Identifiers change length in translation, so places after them count the user's characters;
  // comments, line ends and the "#" are no part of the collected text.
  const std::string code = "Option ShowOnly Expression Error: ";
  const std::string equation = "Invalid Option ShowOnly Equation: ";
  ExpectErrors({
      {"after a longer constant", "SC == == 1#", code + "Missing Parameter ' == 1", "6+2"},
      {"a longer constant refused", "SD == SC SC#", code + "Missing Operator ' 229", "9+2"},
      {"after a shorter field", "DataByte[0x1A] > 3 )#", code + "Ambiguous Operator ')", "19+1"},
      {"a shorter field refused", "SA DataByte[0x1A]#", code + "Missing Operator 'U0x1A", "3+14"},
      {"blanks before the start", "  * 5#", code + "Missing Parameter ' * 5", "2+1"},
      {"tabs", "SA\t==\t== 5#", code + "Missing Parameter ' == 5", "6+2"},
      {"comment", "SA == ; 5\n#", code + "Missing Parameter '== ", "3+2"},
      {"lines and a comment", "SA == 5 ; station 5\n|| DA ==\n== 5#",
       code + "Missing Parameter ' == 5", "17+2"},
      {"CR LF lines", "SA == 5\r\n|| Foo\r\n#", equation + "Undefined Identifier 'Foo'", "11+3"},
      {"undefined", "STS != 0 && Foo == 1#", equation + "Undefined Identifier 'Foo'", "12+3"},
      {"no bracket", "DataByte 3#", equation + "'[' Expected 'U'", "0+8"},
      {"unclosed", "DataWord[3 == 1#", equation + "']' Expected 'V3'", "0+10"},
      {"unclosed hex", "CmdArg[0x1A == 1#", equation + "']' Expected 'W0x1A'", "0+11"},
      {"no end marker", "SA == == 5\n", equation + "End Marker '#' not found 'SA == == 5 '", "-"},
      {"too long", std::string(4097, ' '), equation + "Equation Too Long", "-"},
  });
}

TEST(ShowOnlyCompile, CollectionMessages) {
  const std::string pre = "Invalid Option ShowOnly Equation: ";
  EXPECT_EQ(Compile("SA;x\n5#"), pre + "Undefined Identifier 'SA5'");
  EXPECT_EQ(Compile("SA == 5\n"), pre + "End Marker '#' not found 'SA == 5 '");
  EXPECT_EQ(Compile("SA == 5 ; #"), pre + "End Marker '#' not found 'SA == 5 '");
  // 4096 characters are accepted whole, however long their translation.
  EXPECT_EQ(Compile(std::string(4096, ' ') + "#"), "");
  EXPECT_EQ(Compile("SA == 5" + std::string(4089, ' ') + "#"), "28 1 35 5 15");
  EXPECT_EQ(Compile(std::string(4097, ' ')), pre + "Equation Too Long");
  // The quote is cut so that the whole message fits the 499 characters of the ErrorText.
  const std::string longText(1000, '1');
  const std::string message = Compile(longText);
  EXPECT_EQ(message.size(), kErrorTextSize - 1);
  EXPECT_EQ(message, (pre + "End Marker '#' not found '" + longText).substr(0, kErrorTextSize - 1));
}

TEST(ShowOnlyCompile, ProgramTextAndReaderPosition) {
  ShowOnlyProgram program;
  int next = 0;
  EXPECT_EQ(CompileFromFile("\tSA == 5 ;c\nor DA == 1#NoRef", program, &next),
            "28 1 35 5 15 28 0 35 1 15 21");
  EXPECT_EQ(program.text, " SA == 5 or DA == 1");
  EXPECT_EQ(next, 'N');
  // A second section replaces the first completely.
  EXPECT_EQ(CompileFromFile("#", program), "");
  EXPECT_TRUE(program.Empty());
  EXPECT_EQ(program.text, "");
}

TEST(ShowOnlyCompile, MemoryTextReadsAsTheFile) {
  for (const char* section :
       {"SA\r\n== 5 ;x\r\n|| DA\t== 1 #", "(SA ~ 5)#", "SA == 5\r", "SA\r\n== ;x\r\n==\r\n5#"}) {
    ShowOnlyProgram program;
    ShowOnlyErrorPlace place;
    Result result = CompileShowOnlyText(section, program, place);
    ShowOnlyProgram fromFile;
    ShowOnlyErrorPlace placeInFile;
    EXPECT_EQ(result.ok() ? DisassembleShowOnly(program) : result.ErrorText(),
              CompileFromFile(section, fromFile, nullptr, &placeInFile))
        << section;
    EXPECT_EQ(PlaceText(place), PlaceText(placeInFile)) << section;
  }
}

TEST(ShowOnlyJoin, CodeAndText) {
  struct JoinCase {
    const char* first;  // equations, "" for an empty program
    const char* second;
    const char* code;
    const char* text;
  };
  const JoinCase cases[] = {
      {"SA == 1", "DA == 2", "28 1 35 1 15 28 0 35 2 15 20", "(SA == 1) && DA == 2"},
      // A value word of 0 is no terminator: the second program goes after the whole first.
      {"DataByte[0] == 0", "SA", "33 0 35 0 15 28 1 20", "(DataByte[0] == 0) && SA"},
      {"", "DA == 2", "28 0 35 2 15", "DA == 2"},
      {"SA == 1", "", "28 1 35 1 15", "SA == 1"},
  };
  for (const JoinCase& c : cases) {
    ShowOnlyProgram program;
    ShowOnlyProgram other;
    ASSERT_TRUE(CompileShowOnlyText(std::string(c.first) + "#", program).ok());
    ASSERT_TRUE(CompileShowOnlyText(std::string(c.second) + "#", other).ok());
    ASSERT_TRUE(JoinShowOnlyAnd(program, other).ok()) << c.first;
    EXPECT_EQ(DisassembleShowOnly(program), c.code) << c.first;
    EXPECT_EQ(program.text, c.text) << c.first;
  }
  // Joined with itself.
  ShowOnlyProgram program;
  ASSERT_TRUE(CompileShowOnlyText("SA#", program).ok());
  ASSERT_TRUE(JoinShowOnlyAnd(program, program).ok());
  EXPECT_EQ(DisassembleShowOnly(program), "28 1 28 1 20");
}

TEST(ShowOnlyJoin, CodeMustLeaveTheTerminator) {
  // Programs of plain code words: both and the AND fit while one word stays 0 at the end.
  constexpr std::size_t kWords = ShowOnlyProgram::kCodeWords;
  struct SizeCase {
    std::size_t first, second;
    bool fits;
  };
  for (const SizeCase& c : {SizeCase{kWords / 2 - 1, kWords / 2 - 1, true},
                            SizeCase{kWords / 2, kWords / 2 - 1, false}}) {
    auto program = std::make_unique<ShowOnlyProgram>();
    auto other = std::make_unique<ShowOnlyProgram>();
    std::fill_n(program->code.begin(), c.first, kTokSts);
    std::fill_n(other->code.begin(), c.second, kTokLen);
    program->text = "a";
    const auto before = program->code;
    const Result joined = JoinShowOnlyAnd(*program, *other);
    EXPECT_EQ(joined.ErrorText(),
              c.fits ? "" : "Invalid Option ShowOnly Equation: Equation Too Long")
        << c.first;
    if (c.fits) {
      EXPECT_EQ(program->code[c.first + c.second - 1], kTokLen);
      EXPECT_EQ(program->code[c.first + c.second], kTokAnd);
      EXPECT_EQ(program->code.back(), 0);
    } else {
      EXPECT_TRUE(program->code == before);
      EXPECT_EQ(program->text, "a");
    }
  }
}

TEST(ShowOnlyCodeGeneration, ErrorOffsets) {
  struct OffsetCase {
    const char* text;
    int kind;
    int offset;
  };
  const OffsetCase cases[] = {
      {"* 5", 301, -1},  {"P1 == == 5", 301, 5}, {"(P1 == 5", 300, 7}, {"P1 5", 302, 2},
      {"P1 P0", 302, 3}, {"P1 ! 5", 306, 3},     {"P1 $ 5", 304, 3},   {"V0x12345", 305, 7},
      {"U", 305, 0},     {"U=", 305, 1},         {"1 +", 301, 2},      {"P1", 0, 0},
  };
  for (const OffsetCase& c : cases) {
    ShowOnlyProgram program;
    int offset = 0;
    const int kind = GenerateShowOnlyCode(c.text, program, offset);
    EXPECT_EQ(kind, c.kind) << c.text;
    if (kind != 0) {
      EXPECT_EQ(offset, c.offset) << c.text;
    }
  }
}

}  // namespace
}  // namespace fdc
