000100*------------------------------------------------------*
000200*    CUSTOMER MASTER                                     *
000400 01  CUSTOMER-REC.
000500     05  CUST-NO             PIC 9(6).
000600     05  CUST-NAME           PIC N(10).
000700     05  CUST-KANA           PIC X(20)
000800                             VALUE SPACE.
000900     05  BIRTH-DATE          PIC 9(8).
001000     05  BIRTH-YMD REDEFINES BIRTH-DATE.
001100         10  BIRTH-YY        PIC 9(4).
001200         10  BIRTH-MM        PIC 9(2).
001300         10  BIRTH-DD        PIC 9(2).
001400     05  CUST-TYPE           PIC X.
001500         88  CUST-CORP       VALUE 'C'.
001600     05  SALES OCCURS 3 TIMES.
001700         10  SALES-AMT       PIC S9(7)V99 COMP-3.
001800         10  SALES-QTY       PIC S9(5).
001900     05  FILLER              PIC X(4).
