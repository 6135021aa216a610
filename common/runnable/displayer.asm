; Shows a bitmap picture that lies in the same file, and stays on it.
; Assembled twice: with MULTICOLOUR=1 for multicolour pictures, with
; MULTICOLOUR=0 for hires ones. The program writer fills the areas after the
; code; their addresses are fixed so that other programs can find the data.
;
; No ROM routine is called once the BASIC line has jumped here, so the
; program behaves the same under any KERNAL.

        .cpu "6502"

SCREEN_DATA     = $1800         ; 1000 bytes, copied to $0400
BACKGROUND      = $1be8         ; colour of $d021
BORDER          = $1be9         ; colour of $d020
COLOUR_DATA     = $1c00         ; 1000 bytes, copied to $d800 (multicolour)
BITMAP          = $2000         ; 8000 bytes, shown where they are loaded

SCREEN          = $0400
COLOUR_RAM      = $d800

        * = $0801
        .word basic_end, 10
        .byte $9e               ; SYS
        .text format("%d", start)
        .byte 0
basic_end
        .word 0

start
        ; Interrupts stay off: no handler of ours is needed, and a KERNAL
        ; handler (or its absence) cannot disturb the picture.
        sei
        lda #$7f
        sta $dc0d
        sta $dd0d
        lda $dc0d
        lda $dd0d
        lda #0
        sta $d01a
        sta $d015               ; no sprites over the picture
        lda #$0f
        sta $d019
        ; Blank the screen while the colours are copied.
        lda #$0b
        sta $d011

        ldx #0
copy
        .for part := 0, part < 1000, part += 250
        lda SCREEN_DATA + part,x
        sta SCREEN + part,x
        .if MULTICOLOUR
        lda COLOUR_DATA + part,x
        sta COLOUR_RAM + part,x
        .endif
        .endfor
        inx
        cpx #250
        bne copy

        ; VIC-II bank 0 ($0000-$3fff): bits 0-1 of port A are outputs, both set.
        lda $dd02
        ora #$03
        sta $dd02
        lda $dd00
        ora #$03
        sta $dd00
        lda #$18                ; screen at $0400, bitmap at $2000
        sta $d018
        .if MULTICOLOUR
        lda #$18                ; multicolour, 40 columns
        .else
        lda #$08                ; hires, 40 columns
        .endif
        sta $d016
        lda BACKGROUND
        sta $d021
        lda BORDER
        sta $d020
        lda #$3b                ; bitmap mode, screen on, 25 rows
        sta $d011
stay
        jmp stay
code_end
        .cerror code_end > SCREEN_DATA, "the displayer reaches into the screen data"
