; A stand-in KERNAL for the emulator tests: the real ROMs are not free.
; It sets up the machine as a KERNAL leaves it for BASIC (or, assembled with
; UNTIDY=1, as another program might have left it), waits until the
; host has loaded a program and written $a5,$5a to $02/$03, then starts the
; program through the number of the SYS on its first BASIC line. Every other
; byte of the ROM is $02, which halts the CPU: an unexpected call into the
; KERNAL, or an interrupt reaching it, shows as a JAM.

        .cpu "6502"

JAM     = $02

        * = $e000
reset
        sei
        cld
        ldx #$ff
        txs
        ; The port's value first: once $00 makes its lines outputs, a value
        ; still 0 from power-on would switch this ROM out under the CPU.
        lda #$37                ; BASIC, KERNAL and I/O visible
        sta $01
        lda #$2f
        sta $00

        ; CIAs quiet, then the VIC-II bank through CIA 2's port A: bank 0
        ; as a KERNAL leaves it, bank 3 on an untidy machine.
        lda #$7f
        sta $dc0d
        sta $dd0d
        lda #$3f
        sta $dd02
        .if UNTIDY
        lda #$94
        .else
        lda #$97
        .endif
        sta $dd00

        ldx #vic_values_end - vic_values - 1
-       lda vic_values,x
        sta $d000,x
        dex
        bpl -

        ; The monitor writes the flag at some early cycle; until then the
        ; program may be only partly loaded.
wait
        lda $02
        cmp #$a5
        bne wait
        lda $03
        cmp #$5a
        bne wait

        ; 10 SYS nnnn: link (2), line number (2), the SYS token, then digits.
        lda $0805
        cmp #$9e
        beq +
        .byte JAM
+       lda #0
        sta target
        sta target + 1
        ldy #6
skip_blanks
        lda $0800,y
        cmp #$20
        bne first_digit
        iny
        bne skip_blanks
first_digit
        sec
        sbc #'0'
        cmp #10
        bcc digits
        .byte JAM               ; SYS without a number
digits
        lda $0800,y
        sec
        sbc #'0'
        cmp #10
        bcs start
        pha
        jsr target_times_ten
        pla
        clc
        adc target
        sta target
        bcc +
        inc target + 1
+       iny
        bne digits

start
        ; Like BASIC, the program is entered with interrupts enabled and
        ; CIA 1's timer running: a program that does not turn them off
        ; meets the JAM behind the IRQ vector at the first tick.
        lda #$25
        sta $dc04
        lda #$40
        sta $dc05
        lda #$81
        sta $dc0d
        lda $dc0d
        lda #$11
        sta $dc0e
        cli
        jmp (target)

target_times_ten
        lda target
        ldx target + 1
        asl target
        rol target + 1
        asl target
        rol target + 1
        clc
        adc target
        sta target
        txa
        adc target + 1
        sta target + 1
        asl target
        rol target + 1
        rts

target = $fb

vic_values
        .if UNTIDY
        ; What a program before might have left: extended colour mode with
        ; the bitmap bit, multicolour, other screen and bitmap addresses, and
        ; all sprites on, expanded, in the middle of the screen.
        .byte 100, 100, 140, 100, 180, 100, 220, 100, 100, 150, 140, 150, 180, 150, 220, 150
        .byte 0                 ; $d010
        .byte $7b               ; $d011 extended colour and bitmap
        .byte 0, 0, 0           ; $d012-$d014
        .byte $ff               ; $d015 sprites on
        .byte $18               ; $d016 multicolour
        .byte $ff               ; $d017 expanded
        .byte $f2               ; $d018
        .byte $0f, 0, 0, $ff, $ff, 0, 0  ; $d019-$d01f: sprites in front, multicolour, wide
        .byte 1, 1              ; $d020 border, $d021 background
        .byte 2, 3, 4, 5        ; $d022-$d025
        .byte 1, 1, 1, 1, 1, 1, 1, 1, 1  ; $d026-$d02e
        .else
        ; The registers as they are after power-on and the KERNAL's screen
        ; setup: text mode, light blue border, blue background.
        .byte 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0  ; sprite positions
        .byte 0                 ; $d010
        .byte $1b               ; $d011 text mode, 25 rows
        .byte 0, 0, 0           ; $d012-$d014
        .byte 0                 ; $d015 sprites off
        .byte $08               ; $d016 40 columns
        .byte 0                 ; $d017
        .byte $14               ; $d018 screen $0400, characters $1000
        .byte $0f, 0, 0, 0, 0, 0, 0     ; $d019-$d01f
        .byte 14, 6             ; $d020 border, $d021 background
        .endif
vic_values_end

        .fill $fffa - *, JAM
        .word jam_here          ; NMI
        .word reset             ; RESET
        .word jam_here          ; IRQ
jam_here = $fff0
