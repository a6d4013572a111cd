// Uses both installed libraries: String and TokenStream of libLmr_Util, the
// numbered messages (catalogue found in share/qsvf-tools/ from the installed
// library's own place) and the run status of libLmr_Zutils.
#include <Lmr_Util/String.h>
#include <Lmr_Util/TextFunctions.h>
#include <Lmr_Util/TokenStream.h>
#include <Lmr_Zutils/pt_msg.h>

#include <cstdio>

int main()
{
    String line("SDR 16 TDI (1a58);");
    std::printf("index %d\n", line.index("16", 0));
    std::printf("contains %d\n", line.contains("SDR", 0));
    TokenStream words("one two");
    words.getword();
    std::printf("word %s\n", words.getword(1));
    std::printf("hash %u\n", Hash("ab"));
    std::fflush(stdout);
    pt_msg(pt_make_code(13, PT_MSG_ERROR, 701), "consumer_name");
    pt_exit();
}
