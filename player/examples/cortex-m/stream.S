/* The QSVF stream, taken whole from the file named by STREAM_FILE into
   flash, between the symbols qsvf_stream and qsvf_stream_end. */
    .section .rodata.qsvf_stream, "a", %progbits
    .global qsvf_stream
    .global qsvf_stream_end
qsvf_stream:
    .incbin STREAM_FILE
qsvf_stream_end:
