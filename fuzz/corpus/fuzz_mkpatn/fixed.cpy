AB0010 01  REC.                                                         ID000010
AB0020     05  MSG  PIC X(40) VALUE 'ONE. TWO                            ID000020
AB0030-        'THREE.'.                                                ID000030
AB0040D    05  DBG  PIC X(9).                                           ID000040
AB0050     05  K  PIC 9(4) COMP-                                        ID000050
AB0060-        3.                                                       ID000060
