SELECT cargo FROM ships WHERE name = 'GO'
GO;
CARGO


GO
GO
   
- not a comment; line
SELECT 2;