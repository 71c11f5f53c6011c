01 R.
   05 A PIC X VALUE SPACE.
   05 B PIC S9(3)V99 SIGN IS TRAILING.
   05 C PIC N(2) OCCURS 2 TIMES.
   05 D PIC 9V9 COMP-3.
   05 E PIC X(2)
        VALUE
        'AB'
        .
   05 F PIC 9(4)